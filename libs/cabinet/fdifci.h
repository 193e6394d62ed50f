#pragma once
// The C interface of the cabinet library "cabinet.so": FDI reads cabinets
// (and cabinet sets), FCI writes them. The archive components bind these
// entry points by name at run time (LoadLibraryQuiet + GetProcAddress), so
// only the function pointer types below matter to them; the prototypes
// keep the library's definitions in step with those types.
//
// Layout: the native 64-bit Linux one. Pointers are real pointers, file
// handles are intptr_t, sizes and positions 64-bit where a file can hold
// them, and 16-bit fields where the cabinet format has 16 bits. Strings are
// NUL-terminated bytes, passed through unchanged (a name flagged with
// CAB_A_NAME_IS_UTF is UTF-8; others are what the cabinet holds).
//
// Every file the library touches goes through the caller's callbacks: the
// library never opens, reads or writes a file by itself. Every callback
// gets the caller's user pointer (the pvUser given to FDICreate or
// FCICreate) and an error field: a callback that fails stores its system
// error number there (or leaves it 0) and answers as said at its type. The
// library copies that number into erfType of the error record.
//
// Errors: each entry point clears the error record first; a failure sets
// fError, erfOper (an FDIERROR_ or FCIERR_ number) and erfType, and the
// entry point answers FALSE (or a null context).

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// ---- shared by both sides

typedef struct {
  int erfOper;  // FDIERROR_* or FCIERR_*
  int erfType;  // the system error a callback reported, or 0
  int fError;   // nonzero when the call failed
} ERF, *PERF;

// Open flags given to the open callback (the numbers of the DOS run-time
// library, which the file handler interprets).
#define CAB_O_RDONLY 0x0000
#define CAB_O_WRONLY 0x0001
#define CAB_O_RDWR 0x0002
#define CAB_O_APPEND 0x0008
#define CAB_O_CREAT 0x0100
#define CAB_O_TRUNC 0x0200
#define CAB_O_EXCL 0x0400
#define CAB_O_BINARY 0x8000
// Permission words given with CAB_O_CREAT.
#define CAB_S_IREAD 0x0100
#define CAB_S_IWRITE 0x0080
// Seek origins: 0 start, 1 current position, 2 end (as SEEK_SET, SEEK_CUR,
// SEEK_END).

// File attributes of a cabinet's file records.
#define CAB_A_RDONLY 0x01
#define CAB_A_HIDDEN 0x02
#define CAB_A_SYSTEM 0x04
#define CAB_A_ARCH 0x20
#define CAB_A_EXEC 0x40
#define CAB_A_NAME_IS_UTF 0x80

// Buffer sizes of the names in CCAB and in the notifications, NUL included.
#define CB_MAX_DISK_NAME 256
#define CB_MAX_CABINET_NAME 256
#define CB_MAX_CAB_PATH 256
#define CB_MAX_FILENAME 256

// Memory: a block of cb bytes (NULL when there is none), and its release.
typedef void* (*PFNCABALLOC)(size_t cb);
typedef void (*PFNCABFREE)(void* memory);
// Files. open answers a handle, or -1. read answers the bytes read (0 at the
// end of the file, fewer than cb only there), or (unsigned)-1 on a failure.
// write answers cb, anything else is a failure. close answers 0, or -1 on a
// failure. seek answers the new position, or -1. delete answers 0, or -1.
typedef intptr_t (*PFNCABOPEN)(const char* pszFile, int oflag, int pmode, int* err, void* pv);
typedef unsigned int (*PFNCABREAD)(intptr_t hf, void* memory, unsigned int cb, int* err, void* pv);
typedef unsigned int (*PFNCABWRITE)(intptr_t hf, const void* memory, unsigned int cb, int* err, void* pv);
typedef int (*PFNCABCLOSE)(intptr_t hf, int* err, void* pv);
typedef int64_t (*PFNCABSEEK)(intptr_t hf, int64_t dist, int seektype, int* err, void* pv);
typedef int (*PFNCABDELETE)(const char* pszFile, int* err, void* pv);

// Compression words (TCOMP): the type in the low 4 bits; for Quantum the
// level in bits 4..7 and the memory in bits 8..12; for LZX the window's
// size as a power of two (15..21) in bits 8..12. The writer makes stored,
// MSZIP and LZX folders and ignores the upper bits of the first two;
// Quantum is read only.
typedef unsigned short TCOMP;
#define tcompMASK_TYPE 0x000F
#define tcompTYPE_NONE 0x0000
#define tcompTYPE_MSZIP 0x0001
#define tcompTYPE_QUANTUM 0x0002
#define tcompTYPE_LZX 0x0003
#define tcompMASK_QUANTUM_LEVEL 0x00F0
#define tcompSHIFT_QUANTUM_LEVEL 4
#define tcompMASK_QUANTUM_MEM 0x1F00
#define tcompSHIFT_QUANTUM_MEM 8
#define tcompMASK_LZX_WINDOW 0x1F00
#define tcompSHIFT_LZX_WINDOW 8
#define tcompLZX_WINDOW_LO 15
#define tcompLZX_WINDOW_HI 21

// ---- FDI: reading

typedef void* HFDI;

typedef enum {
  FDIERROR_NONE = 0,
  FDIERROR_CABINET_NOT_FOUND = 1,  // the open callback failed on the cabinet
  FDIERROR_NOT_A_CABINET = 2,
  FDIERROR_UNKNOWN_CABINET_VERSION = 3,
  FDIERROR_CORRUPT_CABINET = 4,  // damaged headers, or damaged file data
  FDIERROR_ALLOC_FAIL = 5,
  FDIERROR_BAD_COMPR_TYPE = 6,
  FDIERROR_MDI_FAIL = 7,
  FDIERROR_TARGET_FILE = 8,  // the write callback failed
  FDIERROR_RESERVE_MISMATCH = 9,
  FDIERROR_WRONG_CABINET = 10,  // the next cabinet is not the one of the set
  FDIERROR_USER_ABORT = 11,     // a notification answered -1
  FDIERROR_EOF = 12
} FDIERROR;

// cpuType of FDICreate; the library works alike for all three.
#define cpuUNKNOWN (-1)
#define cpu80286 0
#define cpu80386 1

typedef struct {
  int64_t cbCabinet;  // the cabinet's size by its header
  uint16_t cFolders;
  uint16_t cFiles;
  uint16_t setID;
  uint16_t iCabinet;  // its number in the set, from 0
  int fReserve;       // it has reserved areas
  int hasprev;
  int hasnext;
} FDICABINETINFO, *PFDICABINETINFO;

typedef enum {
  fdintCABINET_INFO = 0,
  fdintPARTIAL_FILE = 1,
  fdintCOPY_FILE = 2,
  fdintCLOSE_FILE_INFO = 3,
  fdintNEXT_CABINET = 4
} FDINOTIFICATIONTYPE;

// What FDICopy tells its notification callback. Every psz field points to
// a buffer of 256 bytes that the callback may rewrite (a NUL within them);
// a field without meaning for the type points to an empty text.
//
// fdintCABINET_INFO, as each cabinet is opened: psz1 the next cabinet's
// name, psz2 the next disk's name (both empty at the end of a set), psz3
// the cabinet's path; setID, iCabinet. Answer 0, or -1 to abort.
//
// fdintPARTIAL_FILE, for a file of the first cabinet that began in an
// earlier one (its data cannot be had): psz1 its name, psz2 the name of the
// cabinet before, psz3 that cabinet's disk. Answer 0, or -1 to abort.
//
// fdintCOPY_FILE, for each file in turn: psz1 its name, cb its size, date,
// time and attribs as the cabinet holds them, iFolder its folder index.
// Answer a handle (the write callback gets the file's bytes with it), 0 to
// skip the file, or -1 to abort.
//
// fdintCLOSE_FILE_INFO, after the bytes of each file taken by copy-file:
// hf the handle, psz1 the name as copy-file left it, date, time, attribs,
// cb 1 when CAB_A_EXEC is set (the file is to be run), else 0. fdie tells how
// the file came out: FDIERROR_NONE when all its bytes were written and
// checked; otherwise the reason, and the file is incomplete or wrong. The
// callback closes the handle (the library never does). Answer TRUE (any
// value but 0 and -1) to go on, 0 or -1 to abort.
//
// fdintNEXT_CABINET, when the walk goes on to the next cabinet of a set:
// psz1 its name, psz2 its disk's name, psz3 the path to find it in. The
// callback may rewrite psz1 and psz3 to point elsewhere (psz3 with its
// trailing "/"), and answers 0 to go on or -1 to abort. When that cabinet
// cannot be used, the notification comes again with fdie telling why
// (FDIERROR_CABINET_NOT_FOUND, _NOT_A_CABINET, _UNKNOWN_CABINET_VERSION,
// _CORRUPT_CABINET or _WRONG_CABINET); the same name and path once more
// end the walk with that error.
typedef struct {
  int64_t cb;
  char* psz1;
  char* psz2;
  char* psz3;
  void* pv;  // the pvUser of FDICopy
  intptr_t hf;
  uint16_t date;
  uint16_t time;
  uint16_t attribs;
  uint16_t setID;
  uint16_t iCabinet;
  uint16_t iFolder;
  FDIERROR fdie;
} FDINOTIFICATION, *PFDINOTIFICATION;

typedef intptr_t (*PFNFDINOTIFY)(FDINOTIFICATIONTYPE fdint, PFDINOTIFICATION pfdin);
// Decryption is not supported: FDICopy never calls it (pass NULL).
typedef int (*PFNFDIDECRYPT)(void* pfdid);

// A reading context. The file callbacks are used for the cabinets (opened
// with CAB_O_RDONLY | CAB_O_BINARY, read, sought and closed) and for the
// files' bytes (write, on the handles that copy-file gave). pvUser goes to
// every file callback. NULL on failure (the record says why).
typedef HFDI (*PFNFDICREATE)(PFNCABALLOC pfnalloc, PFNCABFREE pfnfree, PFNCABOPEN pfnopen, PFNCABREAD pfnread,
                             PFNCABWRITE pfnwrite, PFNCABCLOSE pfnclose, PFNCABSEEK pfnseek, int cpuType, PERF perf,
                             void* pvUser);
// Whether the file open on hf (read from its current position) is a
// cabinet; fills pfdici when it is. Bytes that are no cabinet answer FALSE
// without an error; a read callback failure answers FALSE with
// FDIERROR_NOT_A_CABINET, and a cabinet of another major version
// FDIERROR_UNKNOWN_CABINET_VERSION. A damaged cabinet with a sound fixed
// header is a cabinet here: FDICopy tells what is wrong with it.
typedef int (*PFNFDIISCABINET)(HFDI hfdi, intptr_t hf, PFDICABINETINFO pfdici);
// Walks the cabinet pszCabPath + pszCabinet and, through fdintNEXT_CABINET,
// the cabinets of its set after it, in this order for each cabinet:
// cabinet-info, then for each file of it partial-file (first cabinet only)
// or copy-file, the file's bytes, close-file-info. A file whose folder goes
// on into the next cabinet needs that cabinet first: next-cabinet and its
// cabinet-info come between that file's copy-file and close-file-info (for
// the first file taken from such a folder), or after the cabinet's last
// file when none is taken.
//
// Damaged data (a data block whose checksum or size is wrong, data cut
// short, coding the decoder rejects) fail the files they reach: a file
// whose own data blocks are damaged and, in a compressed folder (whose
// blocks build on the ones before), each file after the damage. Such a
// file's close-file-info carries FDIERROR_CORRUPT_CABINET, its bytes are
// incomplete or wrong, and the walk goes on; FDICopy then answers FALSE
// with FDIERROR_CORRUPT_CABINET at the end. The other files come out
// whole, also those of the same folder before the damage (and, in a stored
// folder, after it). A damaged header ends the walk with
// FDIERROR_CORRUPT_CABINET. A write callback failure ends it with
// FDIERROR_TARGET_FILE, a -1 answer with FDIERROR_USER_ABORT;
// close-file-info still comes for the file in hand, with that error in
// fdie.
typedef int (*PFNFDICOPY)(HFDI hfdi, const char* pszCabinet, const char* pszCabPath, int flags, PFNFDINOTIFY pfnfdin,
                          PFNFDIDECRYPT pfnfdid, void* pvUser);
typedef int (*PFNFDIDESTROY)(HFDI hfdi);

HFDI FDICreate(PFNCABALLOC pfnalloc, PFNCABFREE pfnfree, PFNCABOPEN pfnopen, PFNCABREAD pfnread, PFNCABWRITE pfnwrite,
               PFNCABCLOSE pfnclose, PFNCABSEEK pfnseek, int cpuType, PERF perf, void* pvUser);
int FDIIsCabinet(HFDI hfdi, intptr_t hf, PFDICABINETINFO pfdici);
int FDICopy(HFDI hfdi, const char* pszCabinet, const char* pszCabPath, int flags, PFNFDINOTIFY pfnfdin,
            PFNFDIDECRYPT pfnfdid, void* pvUser);
int FDIDestroy(HFDI hfdi);

// ---- FCI: writing

typedef void* HFCI;

typedef enum {
  FCIERR_NONE = 0,
  FCIERR_OPEN_SRC = 1,  // get-open-info gave no handle
  FCIERR_READ_SRC = 2,  // reading or closing the source failed
  FCIERR_ALLOC_FAIL = 3,
  FCIERR_TEMP_FILE = 4,  // a temporary file could not be named, made, written or read
  FCIERR_BAD_COMPR_TYPE = 5,
  FCIERR_CAB_FILE = 6,         // the cabinet could not be created, written or closed
  FCIERR_USER_ABORT = 7,       // a status or file-placed callback answered -1
  FCIERR_MCI_FAIL = 8,         // the compressor failed
  FCIERR_CAB_FORMAT_LIMIT = 9  // more than a cabinet can hold, or a name it cannot
} FCIERROR;

// The cabinet to write.
typedef struct {
  // The most the cabinet may grow to (0 or more than 0x7FFFFFFF count as
  // 0x7FFFFFFF). Cabinet sets are not written: data past it fail with
  // FCIERR_CAB_FORMAT_LIMIT.
  uint32_t cb;
  // A folder that has grown past this many compressed bytes is closed after
  // the file in hand; the next file starts a new one (0: no threshold).
  uint32_t cbFolderThresh;
  // Zero bytes reserved in the header (at most 60000), in each folder record
  // and in each data block (at most 255 each).
  uint32_t cbReserveCFHeader;
  uint32_t cbReserveCFFolder;
  uint32_t cbReserveCFData;
  int iCab;  // the cabinet's number in the set
  int iDisk;
  // Accepted for its place: the compressors fall back to their stored forms
  // (deflate stored blocks, LZX uncompressed blocks) for data that do not
  // compress, so no block is refused for that; a coded block too large for
  // a cabinet fails with FCIERR_MCI_FAIL whatever this says.
  int fFailOnIncompressible;
  uint16_t setID;
  char szDisk[CB_MAX_DISK_NAME];
  char szCab[CB_MAX_CABINET_NAME];
  char szCabPath[CB_MAX_CAB_PATH];  // "" or a folder with its trailing "/"
} CCAB, *PCCAB;

// statusFile after each data block coded while a file is added (cb1 its
// coded size, cb2 its size), statusFolder when a folder is closed (cb1 = cb2 = its coded size),
// statusCabinet before the cabinet is written (cb1 = cb2 = its size). An
// answer of -1 aborts with FCIERR_USER_ABORT; other answers are ignored.
#define statusFile 0
#define statusFolder 1
#define statusCabinet 2

typedef int (*PFNFCIFILEPLACED)(PCCAB pccab, const char* pszFile, int64_t cbFile, int fContinuation, void* pv);
// Writes a name for a temporary file (one that does not exist yet) into
// pszTempName (cbTempName bytes); FALSE when it has none.
typedef int (*PFNFCIGETTEMPFILE)(char* pszTempName, int cbTempName, void* pv);
// Asked for the next cabinet's names after FCIFlushCabinet(fGetNextCab =
// TRUE), with pccab->iCab already counted up; FALSE aborts.
typedef int (*PFNFCIGETNEXTCABINET)(PCCAB pccab, uint32_t cbPrevCab, void* pv);
typedef long (*PFNFCISTATUS)(unsigned int typeStatus, uint32_t cb1, uint32_t cb2, void* pv);
// Opens a source file for reading and gives its DOS date, time and
// attributes; a handle, or -1 with the system error in *err.
typedef intptr_t (*PFNFCIGETOPENINFO)(const char* pszName, uint16_t* pdate, uint16_t* ptime, uint16_t* pattribs,
                                      int* err, void* pv);

// A writing context for the cabinet pccab names. The temporary files it
// needs are named by pfnfcigtf, made with CAB_O_RDWR | CAB_O_CREAT |
// CAB_O_EXCL | CAB_O_BINARY, and deleted by pfndelete when done. pv goes to
// every callback. NULL on failure.
typedef HFCI (*PFNFCICREATE)(PERF perf, PFNFCIFILEPLACED pfnfcifp, PFNCABALLOC pfna, PFNCABFREE pfnf,
                             PFNCABOPEN pfnopen, PFNCABREAD pfnread, PFNCABWRITE pfnwrite, PFNCABCLOSE pfnclose,
                             PFNCABSEEK pfnseek, PFNCABDELETE pfndelete, PFNFCIGETTEMPFILE pfnfcigtf, PCCAB pccab,
                             void* pv);
// Adds the file pszSourceFile (opened through pfnfcigoi, read to its end,
// closed) under the name pszFileName (1..255 bytes; flagged
// CAB_A_NAME_IS_UTF when it is UTF-8 and not ASCII). A compression word other than the open
// folder's starts a new folder. A failure before any of the file's bytes
// were taken (the source cannot be opened, a bad word or name, the file or
// folder count full) leaves the context as it was, and so does
// FCIERR_READ_SRC (the bytes read before it stay in the folder, named by no
// file). Other failures (the temporary file, the compressor, a limit
// reached, an abort) leave the context unusable: every later call answers
// that error.
typedef int (*PFNFCIADDFILE)(HFCI hfci, const char* pszSourceFile, const char* pszFileName, int fExecute,
                             PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis, PFNFCIGETOPENINFO pfnfcigoi,
                             TCOMP typeCompress);
// Writes the cabinet: opened with CAB_O_RDWR | CAB_O_CREAT | CAB_O_TRUNC |
// CAB_O_BINARY, written in one pass, closed; on a failure it is deleted.
// A cabinet without files is a bare header. The context can then take the
// files of another cabinet (named through pfnfcignc when fGetNextCab).
typedef int (*PFNFCIFLUSHCABINET)(HFCI hfci, int fGetNextCab, PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis);
// Closes the open folder; the next file starts a new one.
typedef int (*PFNFCIFLUSHFOLDER)(HFCI hfci, PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis);
typedef int (*PFNFCIDESTROY)(HFCI hfci);

HFCI FCICreate(PERF perf, PFNFCIFILEPLACED pfnfcifp, PFNCABALLOC pfna, PFNCABFREE pfnf, PFNCABOPEN pfnopen,
               PFNCABREAD pfnread, PFNCABWRITE pfnwrite, PFNCABCLOSE pfnclose, PFNCABSEEK pfnseek,
               PFNCABDELETE pfndelete, PFNFCIGETTEMPFILE pfnfcigtf, PCCAB pccab, void* pv);
int FCIAddFile(HFCI hfci, const char* pszSourceFile, const char* pszFileName, int fExecute,
               PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis, PFNFCIGETOPENINFO pfnfcigoi, TCOMP typeCompress);
int FCIFlushCabinet(HFCI hfci, int fGetNextCab, PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis);
int FCIFlushFolder(HFCI hfci, PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis);
int FCIDestroy(HFCI hfci);

#ifdef __cplusplus
}
#endif
