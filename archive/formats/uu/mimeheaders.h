#pragma once
// The header block of a MIME part, read line by line, to find a Base64
// attachment and its file name.

#include <string>
#include <string_view>

namespace vsk {

class TMimePartHeaders {
 public:
  // Takes the next line of the text (without its line end). True when the
  // line is the empty line that ends a header block declaring Base64
  // transfer encoding and a file name: its data follow.
  bool Feed(std::string_view Line);
  // The file name of that part: "filename" of Content-Disposition, else
  // "name" of Content-Type.
  const std::string& FileName() const { return FFound; }

 private:
  void Commit();
  void Clear();

  bool FInBlock = false;
  bool FBase64 = false;
  std::string FCurrent;  // the header being read (folded lines joined)
  std::string FFileName;
  std::string FTypeName;
  std::string FFound;
};

// The value of parameter Name (any letter case) in a header value such as
// `attachment; filename="a b.txt"`; empty when it is not there.
std::string MimeParameter(std::string_view Value, std::string_view Name);

}  // namespace vsk
