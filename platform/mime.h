#pragma once
// File type names from the freedesktop MIME database: the type whose glob
// matches a file name, and that type's English comment.

#include <string>

namespace vsk {

// The MIME type whose glob matches FileName ("application/zip"), empty when
// none does. Looks at the name only, never at the file.
std::string MimeTypeOfName(const std::string& FileName);
// The type's comment ("Zip archive"), empty when the database has none.
std::string MimeComment(const std::string& MimeType);

}  // namespace vsk
