#pragma once
// Mailing a file through the desktop's mail program (xdg-email).

#include <string>

namespace brevane {

// Opens the mail program's compose window with the subject, text, one
// attachment and one recipient, each only when not empty, and waits until
// the mail tool returns. The sender's name and address are the mail
// program's own account on this desktop and are not passed on.
// Result: 0 when the message was handed over, -1 when there is no mail
// tool or no mail program configured, otherwise the mail tool's code.
int SendMailMAPI(const std::string& Subject, const std::string& Body, const std::string& FileName,
                 const std::string& SenderName, const std::string& SenderAddress, const std::string& RecipientName,
                 const std::string& RecipientAddress);

}  // namespace brevane
