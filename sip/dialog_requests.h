// The fixed answers, on the dialog holder's thread, to requests that arrive while the holder
// waits for something else (DialogRequestRunner hands them over through its host).
#pragma once

#include "sip/shared_dialog.h"
#include "sip/sip_message.h"

namespace corvina::sip {

// Answers `request` (BYE, OPTIONS, NOTIFY, CANCEL, INFO: 200; INVITE, REFER: 491; ACK:
// nothing; anything else: 501), always with the dialog's local tag. An OPTIONS answer carries
// the dialog's Contact and its SDP offer. Returns false when the request ended the dialog (a
// BYE, which also clears the established flag).
bool AnswerInDialogRequest(SharedDialog& dialog, const SipMessage& request);

}  // namespace corvina::sip
