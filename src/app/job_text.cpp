#include "app/job_text.h"

#include <cstdio>
#include <string>

namespace orvalin {

const char kOfferAddressStart[] = "https://detail.1688.com/offer/";
const char kPictureLeftMarker[] = "{\"imageUrl\":\"";
const char kPictureRightMarker[] = ".jpg";

namespace {

bool BreaksARequest(unsigned char byte) { return byte <= 0x20 || byte == 0x7F; }

Text PercentEncodeControlBytes(const Text& t) {
  std::string out;
  out.reserve(t.Size());
  for (const char c : t.View()) {
    const auto byte = static_cast<unsigned char>(c);
    if (!BreaksARequest(byte)) {
      out += c;
      continue;
    }
    char escaped[4];
    std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
    out += escaped;
  }
  return Text(out);
}

}  // namespace

Text PageAddress(const Text& productId, const Text& offerAddressStart) {
  return TextConcat({offerAddressStart, PercentEncodeControlBytes(productId), ".html"});
}

Text PictureAddress(const Text& pictureValue) {
  return TextConcat({pictureValue, kPictureRightMarker});
}

Text PictureFilePath(const Text& folder, int number) {
  return TextConcat({folder, "\\", IntToText(number), kPictureRightMarker});
}

Text CountMessage(int count) { return TextConcat({"图片数量：", IntToText(count)}); }

Text EndMessage(const JobOutcome& outcome) {
  if (!outcome.pageFetched) return "商品页面获取失败";
  if (outcome.notSaved == 0) return "完成！";
  return TextConcat({"有", IntToText(outcome.notSaved), "张图片未能保存（共",
                     IntToText(outcome.pictures), "张）"});
}

}  // namespace orvalin
