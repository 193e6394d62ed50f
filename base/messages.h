#pragma once
// The library's message table: every error code is also the identifier of
// its English text.

namespace vsk {

// The text of a library code; an empty text for a code not in the table.
const char* MessageText(int code);
bool IsLibraryCode(int code);

// Codes the library refers to by name.
namespace msg {
inline constexpr int BadFileHeader = 25110;
inline constexpr int BadBlock = 25111;
inline constexpr int BadHuffmanCode = 25120;
inline constexpr int ErrorWritingToFile = 25136;
inline constexpr int ErrorClosingFile = 25138;
inline constexpr int ErrorCreatingDir = 25150;
inline constexpr int CrcFailed = 25151;
inline constexpr int DecompressionError = 25153;
inline constexpr int DiskFull = 25160;
inline constexpr int ErrorDeletingFiles = 25180;
inline constexpr int SameInputOutput = 25191;
inline constexpr int FileNotFound = 25192;
inline constexpr int ErrorOpeningFile = 25235;
inline constexpr int ErrorReadingFile = 25236;
inline constexpr int ErrorCreatingFile = 25237;
inline constexpr int UnsupportedArcType = 25243;
inline constexpr int InvalidFileName = 25244;
inline constexpr int OutOfMemory = 25253;
inline constexpr int OutOfMemoryExpanding = 25254;
inline constexpr int NothingToDo = 25268;
inline constexpr int MaxFileSizeExceeded = 25256;
inline constexpr int RequiredEventNotAssigned = 25270;
inline constexpr int SeekError = 25292;
inline constexpr int StackOverflow = 25298;
inline constexpr int UnsupportedMethod = 25326;
inline constexpr int UnknownFileType = 25327;
inline constexpr int EncryptedNotSupported = 25329;
inline constexpr int UserCanceled = 25443;
inline constexpr int InvalidPassword = 26517;
}  // namespace msg

}  // namespace vsk
