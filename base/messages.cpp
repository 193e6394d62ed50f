#include "base/messages.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vsk {

namespace {

struct TMessage {
  int Code;
  const char* Text;
};

// Texts as the library has always shown them, misspellings included.
constexpr std::array kMessages = {
    TMessage{25101, "64 bit hearder"},
    TMessage{25102, "32 bit header"},
    TMessage{25103, "Error loading unacev2.dll..."},
    TMessage{25104, "File is read-only"},
    TMessage{25105, "File is hidden"},
    TMessage{25106, "File is a SysFile"},
    TMessage{25107, "File is a directory"},
    TMessage{25108, "File is a VolumeID"},
    TMessage{25109, "Invalid file attribute"},
    TMessage{25110, "Bad file header"},
    TMessage{25111, "Bad block"},
    TMessage{25120, "Bad Huffman code"},
    TMessage{25121, "Invalid code encountered"},
    TMessage{25122, "Invalid comment header"},
    TMessage{25123, "No BEGIN line"},
    TMessage{25134, "Incorrect number of bits"},
    TMessage{25135, "Broken multi-volume chain"},
    TMessage{25136, "Error writing to file"},
    TMessage{25137, "Cabinets in the set do not have the same reserved space"},
    TMessage{25138, "Error closing file"},
    TMessage{25139, "Incomplete code set"},
    TMessage{25140, "Corrupt input"},
    TMessage{25150, "Error creating dir"},
    TMessage{25151, "File fails CRC check"},
    TMessage{25152, "File contains invalid decode tree"},
    TMessage{25153, "Decompression error"},
    TMessage{25154, "Error writing spanned-disk label"},
    TMessage{25155, "Disks contains neither label nor serial numbers to compare"},
    TMessage{25156, "Not enough disk space"},
    TMessage{25157, "Unable to create directory"},
    TMessage{25158, "Invalid directory"},
    TMessage{25159, "Invalid directory... defaulting to current"},
    TMessage{25160, "Disk full"},
    TMessage{25170, "is not accessible"},
    TMessage{25171, "disk is write protected"},
    TMessage{25172, "EOF not found"},
    TMessage{25176, "Unexpected end of file"},
    TMessage{25177, "Unexpected end of line"},
    TMessage{25178, "EOL not found"},
    TMessage{25179, "EOF not found"},
    TMessage{25180, "Error deleting file(s)"},
    TMessage{25190, "Command exec failed"},
    TMessage{25191, "Same input and output file-names"},
    TMessage{25192, "File not found"},
    TMessage{25193, "File size different"},
    TMessage{25194, "FileSize exceeds OS's support"},
    TMessage{25230, "Warning, unknown flags"},
    TMessage{25235, "Error opening file"},
    TMessage{25236, "Error reading file or unexpected end of file"},
    TMessage{25237, "Error creating file"},
    TMessage{25238, "Header CRC error"},
    TMessage{25239, "Header ID error"},
    TMessage{25240, "Unexpected line break"},
    TMessage{25241, "Line found before 'BEGIN'"},
    TMessage{25242, "Skipped illegal char"},
    TMessage{25243, "Invalid or unsupported archive type for this operation"},
    TMessage{25244, "Invalid file name"},
    TMessage{25245, "Invalid length in send_bits"},
    TMessage{25246, "Inconsistent bit counts - gencodes"},
    TMessage{25247, "Bad lengths"},
    TMessage{25248, "Inconsistant local header"},
    TMessage{25249, "Insufficient lookahead"},
    TMessage{25251, "Maximum volumes 999"},
    TMessage{25253, "Out of memory"},
    TMessage{25254, "Out of memory while expanding memory stream"},
    TMessage{25255, "Uninitialized TMemoryStream object"},
    TMessage{25256, "Max file size exceeded"},
    TMessage{25258, "Uninitialized TFileStream object"},
    TMessage{25259, "Header not found. File may be corrupt"},
    TMessage{25260, "Unrar?.dll not found"},
    TMessage{25261, "Cabinet.dll not found"},
    TMessage{25262, "Ace.dll or Unace?.dll not found"},
    TMessage{25264, "Multi-Part GZIP files not supported"},
    TMessage{25265, "Too many nested dirs"},
    TMessage{25266, "Nothing to decode"},
    TMessage{25267, "Password not assigned"},
    TMessage{25268, "Nothing to do"},
    TMessage{25270, "Required event not assigned"},
    TMessage{25271, "Required property not assigned"},
    TMessage{25280, "Open quote, but no close quote"},
    TMessage{25281, "Open paran, but no close paran"},
    TMessage{25290, "Password protected"},
    TMessage{25292, "Seek error"},
    TMessage{25293, "Ambiguous Shannon-Fano decode tree encountered"},
    TMessage{25294, "No desktop folder"},
    TMessage{25295, "Error getting SHGetSpecialFolderLocation"},
    TMessage{25296, "Error getting Shell memory allocator"},
    TMessage{25297, "Illegal text for search mode"},
    TMessage{25298, "Stack overflow"},
    TMessage{25299, "Stream read/write error"},
    TMessage{25324, "Streaming not supported with this archive type"},
    TMessage{25325, "Hardware does not support high performance timing"},
    TMessage{25326, "Unsupported compression method"},
    TMessage{25327, "Unknown file type"},
    TMessage{25328, "Unsupported version"},
    TMessage{25329, "Encrypted files not supported"},
    TMessage{25350, "Error updating archive"},
    TMessage{25355, "Unknown error"},
    TMessage{25402, "Version error"},
    TMessage{25443, "User canceled"},
    TMessage{25446, "Volume is out of sequence"},
    TMessage{25450, "Requires Win32 api"},
    TMessage{25901, "Extraction of this cabinet requires first disk of set"},
    TMessage{25902, "Previous volume in set"},
    TMessage{25903, "Next volume in set"},
    TMessage{25904, "Cabinet does not belong with this set"},
    TMessage{25905, "Insert FIRST diskette of this archive set"},
    TMessage{25906, "Insert LAST disk of this archive set"},
    TMessage{26517, "Invalid password"},
    TMessage{26522, "Password failed"},
    TMessage{26859, "Nothing to do"},
    TMessage{26899, "Directory does not exist... Create?"},
};

}  // namespace

const char* MessageText(int code) {
  auto it = std::lower_bound(kMessages.begin(), kMessages.end(), code,
                             [](const TMessage& m, int c) { return m.Code < c; });
  return it != kMessages.end() && it->Code == code ? it->Text : "";
}

bool IsLibraryCode(int code) { return MessageText(code)[0] != 0; }

}  // namespace vsk
