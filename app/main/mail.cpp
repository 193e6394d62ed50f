#include "app/main/mail.h"

#include <vector>

#include "app/main/runprogram.h"

namespace brevane {

namespace {

// xdg-email's exit code for "no mail program could be found".
constexpr int kNoMailProgram = 3;

}  // namespace

int SendMailMAPI(const std::string& subject, const std::string& body, const std::string& fileName,
                 const std::string& /*senderName*/, const std::string& /*senderAddress*/,
                 const std::string& /*recipientName*/, const std::string& recipientAddress) {
  const std::string tool = FindProgram("xdg-email");
  if (tool.empty()) return -1;
  std::vector<std::string> args{"--utf8"};
  if (!subject.empty()) args.insert(args.end(), {"--subject", subject});
  if (!body.empty()) args.insert(args.end(), {"--body", body});
  if (!fileName.empty()) args.insert(args.end(), {"--attach", fileName});
  // The address alone: a display name would be taken as part of the address.
  if (!recipientAddress.empty()) args.push_back(recipientAddress);
  const auto code = RunAndWait(tool, args, std::string());
  if (!code || *code == kNoMailProgram) return -1;
  return *code;
}

}  // namespace brevane
