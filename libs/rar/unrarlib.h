#ifndef BREVANE_PLATFORM_RAR_UNRARLIB_H
#define BREVANE_PLATFORM_RAR_UNRARLIB_H
/*
 * The interface of the RAR library "unrar3.so": five entry points that a
 * reader looks up by name, the records they fill and the callback they
 * report through. Names and texts are UTF-8, paths use "/", numbers are
 * native (64-bit Linux). Each handle is independent; a handle is used from
 * one thread at a time.
 *
 * Calling order: RAROpenArchive -> RARSetCallback -> RARReadHeader ->
 * RARProcessFile -> RARReadHeader ... -> RARCloseArchive. Every entry gets
 * exactly one RARProcessFile after its RARReadHeader (operation 0 skips it).
 *
 * Entries. FileName is the stored name with "/" between folders: UTF-8 for
 * RAR5 and for RAR 1.5-4.x names stored in Unicode, otherwise the stored
 * bytes (an OEM code page, or UTF-8) for the caller to convert. Flags are
 * the RAR 2.x file flags (RAR5 entries are given the same meaning):
 * 0x01 continued from the previous volume, 0x02 continued in the next
 * volume, 0x04 encrypted, 0x10 solid, and all three bits of 0x00E0 set for
 * a directory. HostOS is 0 MS-DOS, 2 Windows, 3 Unix; FileAttr holds DOS
 * attributes (0x10 a directory) or, for HostOS 3, the Unix mode (0x4000 a
 * directory, 0xA000 in the type bits a symbolic link). A symbolic link,
 * junction or hard link also carries RedirType (1 Unix symlink, 2 Windows
 * symlink, 3 junction, 4 hard link, 5 copy of another entry) and its target
 * in RedirName. The library never creates a link: RARProcessFile with
 * operation 2 refuses such an entry (ERAR_ECREATE) and creates nothing.
 *
 * CRC. FileCRC is the CRC-32 that the archive stores in the entry's header
 * (0 when a RAR5 entry stores none). For an entry without flag 0x02 it is
 * the CRC of the whole file: the running CRC-32 over the data of message 1
 * must equal it (or its complement). An entry with flag 0x02 stores the
 * file's CRC with its last part in a later volume; for it, and for every
 * entry, RARProcessFile itself checks the data against what the archive
 * stores for the whole file and returns ERAR_BAD_DATA when it fails. An
 * entry of HashType RAR_HASH_NONE has no CRC-32 to check it by: a split
 * one is not checked at all.
 *
 * Volumes. When the data of a volume set goes on in the next volume, the
 * callback gets UCM_CHANGEVOLUME with P1 the address of a NUL-terminated
 * name buffer of P2 bytes, holding the name the library would open: for
 * "x.partN.rar" the next number with the same number of digits (at least),
 * otherwise "x.rar" or "x.exe" -> "x.r00" ... "x.r99" -> "x.s00". The
 * callback may write another name into the buffer. Answer 0 opens the name
 * then in the buffer; -1 declines. Without a callback no next volume is
 * opened. A declined, missing or wrong next volume ends the operation with
 * ERAR_VOLUME_BROKEN.
 *
 * Data. RARProcessFile with operation 1 (test) or 2 (extract) passes the
 * decoded data in blocks through UCM_PROCESSDATA (P1 the address, P2 the
 * byte count). Operation 2 writes the file DestName itself (DestPath is not
 * used: nothing goes to a stored path): it is created
 * anew (an existing regular file is replaced, never written through), not
 * through a symbolic link at its last component, and only in an existing
 * folder; a directory entry creates the one folder DestName. The file is
 * removed again when the call does not return ERAR_SUCCESS.
 *
 * Passwords. The library cannot decrypt. An encrypted entry processed with
 * operation 1 or 2 asks UCM_NEEDPASSWORD (P1 a buffer, P2 its size) and then
 * fails with ERAR_BAD_PASSWORD; nothing is written. An archive whose headers
 * are encrypted does not open (ERAR_BAD_ARCHIVE).
 *
 * Any callback answer -1 stops the operation with ERAR_VOLUME_BROKEN, which
 * the caller treats as its own stop.
 */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. No other value is ever returned. */
#define ERAR_SUCCESS 0
#define ERAR_END_ARCHIVE 10     /* no more entries */
#define ERAR_NO_MEMORY 11
#define ERAR_BAD_DATA 12        /* damaged header or data, failed CRC */
#define ERAR_BAD_ARCHIVE 13     /* not a RAR archive, encrypted headers, bad call */
#define ERAR_UNKNOWN_FORMAT 14  /* an entry in a form the library cannot decode */
#define ERAR_EOPEN 15           /* the archive cannot be opened */
#define ERAR_ECREATE 16         /* the output cannot be created */
#define ERAR_ECLOSE 17
#define ERAR_EREAD 18           /* reading the archive failed, or it ends early */
#define ERAR_EWRITE 19
#define ERAR_VOLUME_BROKEN 21   /* next volume declined, missing or wrong; callback stop */
#define ERAR_BAD_PASSWORD 22    /* an encrypted entry (the library cannot decrypt) */

#define RAR_OM_EXTRACT 1

#define RAR_SKIP 0
#define RAR_TEST 1
#define RAR_EXTRACT 2

#define UCM_CHANGEVOLUME 0
#define UCM_PROCESSDATA 1
#define UCM_NEEDPASSWORD 2

#define RAR_NAME_SIZE 1024

/* Header flags (RAR 2.x file flags). */
#define RHDF_SPLITBEFORE 0x01
#define RHDF_SPLITAFTER 0x02
#define RHDF_ENCRYPTED 0x04
#define RHDF_SOLID 0x10
#define RHDF_DIRECTORY 0xE0

/* What an entry's header stores to check its data by. */
#define RAR_HASH_NONE 0   /* no CRC-32 (a RAR5 entry may keep another hash) */
#define RAR_HASH_CRC32 1
#define RAR_REDIR_NONE 0
#define RAR_REDIR_UNIXSYMLINK 1
#define RAR_REDIR_WINSYMLINK 2
#define RAR_REDIR_JUNCTION 3
#define RAR_REDIR_HARDLINK 4
#define RAR_REDIR_FILECOPY 5

/* Answers 0 to go on, -1 to stop. */
typedef int (*RARCallback)(unsigned int Msg, intptr_t UserData, intptr_t P1, intptr_t P2);

struct RAROpenArchiveData {
  const char* ArcName;
  unsigned int OpenMode;   /* RAR_OM_EXTRACT */
  unsigned int OpenResult; /* out: ERAR_* */
  char* CmtBuf;            /* may be NULL */
  unsigned int CmtBufSize;
  unsigned int CmtSize;    /* out: comment bytes copied, NUL included */
  unsigned int CmtState;   /* out: 0 none, 1 copied (cut to the buffer), ERAR_UNKNOWN_FORMAT packed,
                              ERAR_BAD_DATA or ERAR_EREAD damaged */
};

struct RARHeaderData {
  char ArcName[RAR_NAME_SIZE];  /* the volume the entry begins in */
  char FileName[RAR_NAME_SIZE];
  unsigned int Flags;
  uint64_t PackSize;            /* in the volume the entry begins in */
  uint64_t UnpSize;
  unsigned int HostOS;
  unsigned int FileCRC;
  unsigned int FileTime;        /* DOS date (high word) and time (low word), local */
  unsigned int UnpVer;          /* 15..29 for RAR 1.5-4.x, 50 for RAR5 */
  unsigned int Method;          /* 0x30 stored .. 0x35 best */
  unsigned int FileAttr;
  char* CmtBuf;                 /* entry comments are not kept: CmtSize and CmtState are 0 */
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
  unsigned int RedirType;       /* RAR_REDIR_* */
  char RedirName[RAR_NAME_SIZE];
  unsigned int HashType;        /* RAR_HASH_*: for a split file, what its last part stores too */
};

typedef void* RARHANDLE;

__attribute__((visibility("default"))) RARHANDLE RAROpenArchive(struct RAROpenArchiveData* ArchiveData);
__attribute__((visibility("default"))) int RARCloseArchive(RARHANDLE Handle);
__attribute__((visibility("default"))) int RARReadHeader(RARHANDLE Handle, struct RARHeaderData* HeaderData);
__attribute__((visibility("default"))) int RARProcessFile(RARHANDLE Handle, int Operation, const char* DestPath,
                                                          const char* DestName);
__attribute__((visibility("default"))) void RARSetCallback(RARHANDLE Handle, RARCallback Callback,
                                                           intptr_t UserData);

/* The entry points' types, for a caller that looks them up by name. */
typedef RARHANDLE (*RAROpenArchiveFn)(struct RAROpenArchiveData*);
typedef int (*RARCloseArchiveFn)(RARHANDLE);
typedef int (*RARReadHeaderFn)(RARHANDLE, struct RARHeaderData*);
typedef int (*RARProcessFileFn)(RARHANDLE, int, const char*, const char*);
typedef void (*RARSetCallbackFn)(RARHANDLE, RARCallback, intptr_t);

#ifdef __cplusplus
}
#endif

#endif
