// The texts a download job builds: the page address, the picture addresses
// and file paths, and its status messages. No operating-system dependency.
#pragma once

#include "text/text.h"

namespace orvalin {

// Where product pages live; the product ID and ".html" follow.
extern const char kOfferAddressStart[];
// The markers around each picture value in a product page.
extern const char kPictureLeftMarker[];
extern const char kPictureRightMarker[];

// PageAddress gives offerAddressStart + productId + ".html". The ID is used
// as typed, except that bytes that cannot stand in a request line or header
// (0x01-0x20 and 0x7F) are percent-encoded, so no ID can split the request:
// "12 3\r\nX: y" gives ".../12%203%0D%0AX:%20y.html".
Text PageAddress(const Text& productId, const Text& offerAddressStart = kOfferAddressStart);

// PictureAddress gives the picture value followed by ".jpg", unchanged.
Text PictureAddress(const Text& pictureValue);

// PictureFilePath gives folder + "\" + number + ".jpg": "00\12.jpg".
Text PictureFilePath(const Text& folder, int number);

// CountMessage gives "图片数量：" + count, the text of status part 0.
Text CountMessage(int count);

// How a job ended, for its last text in status part 1.
struct JobOutcome {
  bool pageFetched = false;
  int pictures = 0;  // found in the page
  int notSaved = 0;  // fetched empty or not written
};

// EndMessage gives "完成！" when the page was fetched and every picture was
// saved (also when it held none); otherwise a short sentence saying that the
// page could not be fetched, or how many of the pictures were not saved.
Text EndMessage(const JobOutcome& outcome);

}  // namespace orvalin
