// The download job: one press of the start button, from product ID to
// numbered picture files.
#pragma once

#include "app/job_text.h"
#include "text/text.h"

namespace orvalin {

// What a job needs of the main window. Both calls are carried out on the
// window's thread while the job waits.
class JobWindow {
 public:
  virtual ~JobWindow() = default;
  // A copy of the product ID the edit box holds at this moment.
  virtual Text ProductId() = 0;
  // Shows `text` in status part 0 or 1; other part numbers are ignored.
  virtual void SetStatusPartText(int part, const Text& text) = 0;
};

// RunDownloadJob fetches the product page of the ID in the window, takes the
// picture values out of it, and saves picture n as "<folder>\n.jpg" in its own
// job folder (NextJobFolder), reporting the count in status part 0 and each
// saved address, then how the job ended, in part 1. A picture that cannot be
// fetched or written still gets its number (a 0-byte file where possible) and
// is counted as not saved. The job stops without writing more once the
// program is ending.
void RunDownloadJob(JobWindow& window, const Text& offerAddressStart = kOfferAddressStart);

}  // namespace orvalin
