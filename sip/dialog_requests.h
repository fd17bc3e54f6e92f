// Transactions inside a dialog on the holder's thread: the fixed answers to requests that
// arrive while the holder waits for something else, and sending a non-INVITE request and
// waiting for its final response.
#pragma once

#include <functional>
#include <memory>

#include "sip/request_composer.h"
#include "sip/shared_dialog.h"
#include "sip/sip_message.h"

namespace corvina::sip {

// Answers `request` (BYE, OPTIONS, NOTIFY, CANCEL, INFO: 200; INVITE, REFER: 491; ACK:
// nothing; anything else: 501), always with the dialog's local tag. An OPTIONS answer carries
// the dialog's Contact and its SDP offer. Returns false when the request ended the dialog (a
// BYE, which also clears the established flag).
bool AnswerInDialogRequest(SharedDialog& dialog, const SipMessage& request);

inline constexpr int kRequestResendMs = 500;
inline constexpr int kRequestLimitMs = 3000;
inline constexpr int kStatusTimedOut = 408;
inline constexpr int kStatusDialogEnded = 487;

struct FinalResponse {
  int status = kStatusTimedOut;
  std::unique_ptr<SipMessage> response;  // the final response when one came
};

// Waits for the final response to `request`, which its sender has just sent once: resends it
// every 500 ms until a provisional response arrives, answers other requests meanwhile, and gives
// 408 after 3000 ms or when `stopRequested` says so, 487 when the far end ended the dialog.
FinalResponse SendAndWait(SharedDialog& dialog, const SipRequestOut& request,
                          const std::function<bool()>& stopRequested = {});

}  // namespace corvina::sip
