#include "app/download_job.h"

#include "app/file_output.h"
#include "app/job_folder.h"
#include "app/picture_fetch.h"
#include "text/between.h"
#include "web/web_request.h"

namespace orvalin {
namespace {

TextArray PictureValues(const Text& page) {
  TextArray values;
  AllTextsBetween(page, kPictureLeftMarker, kPictureRightMarker, values);
  return values;
}

// Fetches one picture and writes it under its number; true when it was
// saved. A failed fetch still leaves a 0-byte file under the number.
bool SavePicture(const Text& folder, int number, const Text& address) {
  CreateFolder(folder);
  const Bytes picture = FetchUrlBytes(address);
  if (JobsMustStop()) return false;
  const bool written = WriteFileBytes(PictureFilePath(folder, number), picture);
  return written && !picture.empty();
}

}  // namespace

void RunDownloadJob(JobWindow& window, const Text& offerAddressStart) {
  JobOutcome outcome;
  TextArray pictures;
  {
    const Text page = FetchPageText(PageAddress(window.ProductId(), offerAddressStart));
    outcome.pageFetched = TextLength(page) > 0;
    pictures = PictureValues(page);
  }
  const std::optional<Text> folder = NextJobFolder();
  if (!folder) return;

  outcome.pictures = ArrayCount(pictures);
  window.SetStatusPartText(0, CountMessage(outcome.pictures));
  for (int i = 1; i <= outcome.pictures; ++i) {
    const Text address = PictureAddress(ArrayMember(pictures, i));
    if (!SavePicture(*folder, i, address)) ++outcome.notSaved;
    if (JobsMustStop()) return;
    window.SetStatusPartText(1, address);
  }
  window.SetStatusPartText(1, EndMessage(outcome));
}

}  // namespace orvalin
