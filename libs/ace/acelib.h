#pragma once
/* The interface of the ACE extraction library "unacev2.so", which the ACE
 * reader loads at run time by file name and drives through five entry
 * points: "ACEInitDll", "ACEReadArchiveData", "ACEList", "ACETest" and
 * "ACEExtract". The library reports back through four callbacks, each
 * given a pointer to an AceCallbackRecord whose first fields say what the
 * record holds (StructureType), why it is sent (Code) and in which
 * operation (Operation); each answers with an ACE_CALLBACK_* value.
 *
 * Names are UTF-8 with "/" between folders. Text pointers in records the
 * library sends are valid only during the callback. Pointers the caller
 * hands to the library are read during the call they are given to (the
 * initialisation record during every later call). One call at a time per
 * process: a call made while another is running returns ACE_ERROR_BUSY. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Results of the entry points. */
#define ACE_OK 0
#define ACE_ERROR_MEMORY 1
#define ACE_ERROR_NOT_FOUND 3  /* the archive or a volume is missing */
#define ACE_ERROR_OPEN 5       /* the archive or an output cannot be opened */
#define ACE_ERROR_READ 6
#define ACE_ERROR_WRITE 7
#define ACE_ERROR_PARAMETER 8  /* a record is missing or asks for what is not supported */
#define ACE_ERROR_CRC 9        /* one or more files failed their check */
#define ACE_ERROR_BROKEN 10    /* not an ACE archive, or a damaged header */
#define ACE_ERROR_NOT_INITIALISED 11
#define ACE_ERROR_BUSY 12
#define ACE_ERROR_USER 255 /* a callback answered ACE_CALLBACK_CANCEL */

/* Callback answers. */
#define ACE_CALLBACK_OK 0
#define ACE_CALLBACK_SKIP 1 /* skip or refuse this item */
#define ACE_CALLBACK_CANCEL 2

/* StructureType: which member of AceCallbackRecord is sent. */
#define ACE_TYPE_GLOBAL 0       /* Global */
#define ACE_TYPE_ARCHIVE 1      /* Archive, or Volume for ACE_REQUEST_CHANGE_VOLUME */
#define ACE_TYPE_ARCHIVEDFILE 2 /* ArchivedFile, or Password for ACE_REQUEST_PASSWORD */
#define ACE_TYPE_REALFILE 3     /* RealFile */
#define ACE_TYPE_PROGRESS 7     /* Progress */
#define ACE_TYPE_CRCCHECK 8     /* CrcCheck */

/* Operation of every record. */
#define ACE_OPERATION_LIST 0
#define ACE_OPERATION_TEST 1
#define ACE_OPERATION_EXTRACT 3

/* Info callback codes. */
#define ACE_INFO_FILE_DONE 0x140 /* Global: one file was processed */

/* Error callback codes. ACE_CALLBACK_CANCEL ends the run; any other answer
 * skips the file concerned (archive-level errors end the run anyway). */
#define ACE_ERROR_CB_OPEN 0x201        /* Archive: a volume cannot be opened; RealFile: an output cannot be created */
#define ACE_ERROR_CB_READ 0x202        /* Archive: reading a volume failed */
#define ACE_ERROR_CB_WRITE 0x203       /* RealFile: writing an output failed */
#define ACE_ERROR_CB_BROKEN 0x204      /* Archive: a damaged or missing header; the run ends */
#define ACE_ERROR_CB_UNSUPPORTED 0x205 /* ArchivedFile: a method or dictionary this library does not decode */
#define ACE_ERROR_CB_PASSWORD 0x206    /* ArchivedFile: the password does not open the file */
#define ACE_ERROR_CB_NAME 0x207        /* ArchivedFile: a name that would leave the destination folder */
#define ACE_ERROR_CB_VOLUME 0x208      /* Archive: the next volume does not go on with the split file */

/* Request callback codes. */
#define ACE_REQUEST_CHANGE_VOLUME 0x321 /* Volume: ACE_CALLBACK_OK opens NextVolume; SKIP: there is none */
#define ACE_REQUEST_FILE_EXISTS 0x340   /* ArchivedFile: the output exists; OK overwrites it, SKIP keeps it */
#define ACE_REQUEST_PASSWORD 0x343      /* Password: OK with Password set tries it, SKIP skips the file */

/* State callback codes. */
#define ACE_STATE_START_ARCHIVE 0x400 /* Archive: a volume is opened */
#define ACE_STATE_START_FILE 0x410    /* ArchivedFile: LIST reports a file; TEST begins testing it;
                                         EXTRACT names the output; SKIP leaves the file out */
#define ACE_STATE_PROGRESS 0x420      /* Progress: a block of the file's data */
#define ACE_STATE_CRC_CHECK 0x430     /* CrcCheck: the file's verdict, after its last block */

/* Main header flags (AceArchiveData.Flags). */
#define ACE_ARCHIVE_COMMENT 0x0002
#define ACE_ARCHIVE_MULTIVOLUME 0x0800
#define ACE_ARCHIVE_LOCKED 0x4000
#define ACE_ARCHIVE_SOLID 0x8000
/* File header flags (AceFileData.Flags). */
#define ACE_FILE_COMMENT 0x0002
#define ACE_FILE_SPLIT_BEFORE 0x1000 /* goes on from the previous volume */
#define ACE_FILE_SPLIT_AFTER 0x2000  /* goes on in the next volume */
#define ACE_FILE_PASSWORD 0x4000

/* AceFileData.Method. */
#define ACE_METHOD_STORED 0
#define ACE_METHOD_LZ77 1
#define ACE_METHOD_BLOCKED 2 /* the later format's; not decoded */

typedef union AceCallbackRecord AceCallbackRecord;
typedef int (*AceCallbackProc)(AceCallbackRecord* Record);

typedef struct AceComment {
  char* Buffer;        /* the caller's; receives the archive comment, NUL-terminated */
  uint32_t BufferSize; /* bytes of Buffer */
  int32_t State;       /* set by the library: 0 no comment, 1 read, 2 not decoded */
} AceComment;

/* The initialisation record; the library keeps a copy until the next
 * initialisation. */
typedef struct AceGlobalData {
  void* Obj;                    /* handed back unchanged in every callback record */
  uint32_t MaxArchiveTestBytes; /* how far into a file the archive's start is looked for */
  uint32_t MaxFileBufferSize;   /* a hint; the library reads in blocks of its own size */
  AceComment Comment;
  const char* TempDir; /* not used: the library writes no scratch files */
  AceCallbackProc InfoCallback;
  AceCallbackProc ErrorCallback;
  AceCallbackProc RequestCallback;
  AceCallbackProc StateCallback;
} AceGlobalData;

/* The archive, or its current volume. */
typedef struct AceArchiveData {
  const char* ArchiveName; /* the volume's file name */
  uint32_t Flags;          /* ACE_ARCHIVE_* */
  uint32_t VersionCreated;
  uint32_t VersionExtract;
  uint32_t Host;         /* 0 MS-DOS, 2 Win32, 3 Unix, ... */
  int32_t VolumeNumber;  /* 0 for the first volume */
  uint32_t TimeCreated;  /* DOS date (high word) and time */
} AceArchiveData;

/* A file's header; for a split file the part in the current volume. */
typedef struct AceFileData {
  const char* Name; /* as stored, code page decoded, "/" between folders; with
                       ACE_OPERATION_EXTRACT the name below the destination
                       folder that is written */
  uint32_t Flags;   /* ACE_FILE_* */
  uint32_t Crc32;   /* as stored: the running CRC-32 register, not complemented */
  uint32_t Method;  /* ACE_METHOD_* */
  uint32_t Quality;
  uint32_t Parameter; /* low four bits: dictionary size as a power of two less 10 */
  uint32_t Attributes; /* DOS attributes; 0x10 a folder */
  uint32_t Time;       /* DOS date (high word) and time */
  uint64_t PackedSize; /* in this volume */
  uint64_t Size;       /* of the whole file */
  const char* StoredName; /* as stored, code page decoded, "/" between folders,
                             whatever Name is */
} AceFileData;

/* Fields every record starts with. */
typedef struct AceCallbackHead {
  int32_t StructureType;
  uint32_t Code;
  uint32_t Operation;
  AceGlobalData* GlobalData;
} AceCallbackHead;

typedef struct AceCallbackGlobal {
  AceCallbackHead Head;
} AceCallbackGlobal;

typedef struct AceCallbackArchive {
  AceCallbackHead Head;
  AceArchiveData* ArchiveData;
} AceCallbackArchive;

/* ACE_REQUEST_CHANGE_VOLUME. */
typedef struct AceCallbackVolume {
  AceCallbackHead Head;
  AceArchiveData* ArchiveData; /* the volume that ends */
  int32_t VolumeNumber;        /* of the volume wanted: 1 for the one after the first */
  char* NextVolume;            /* the library's proposal; the caller may write another name */
  uint32_t NextVolumeSize;     /* bytes of NextVolume, its NUL included */
} AceCallbackVolume;

typedef struct AceCallbackArchivedFile {
  AceCallbackHead Head;
  AceArchiveData* ArchiveData;
  AceFileData* FileData;
} AceCallbackArchivedFile;

/* ACE_REQUEST_PASSWORD. */
typedef struct AceCallbackPassword {
  AceCallbackHead Head;
  AceArchiveData* ArchiveData;
  AceFileData* FileData;
  const char* Password; /* preset from the test or extract record; the caller
                           may point it at another text, read when it returns */
} AceCallbackPassword;

typedef struct AceCallbackRealFile {
  AceCallbackHead Head;
  AceArchiveData* ArchiveData;
  const char* FileName; /* the file on disk, below the destination folder */
} AceCallbackRealFile;

typedef struct AceCallbackProgress {
  AceCallbackHead Head;
  AceArchiveData* ArchiveData;
  AceFileData* FileData;
  const uint8_t* Block; /* the file's next decoded bytes */
  uint32_t BlockSize;
  uint64_t FileProcessed; /* bytes of the file so far, the block included */
} AceCallbackProgress;

typedef struct AceCallbackCrcCheck {
  AceCallbackHead Head;
  AceArchiveData* ArchiveData;
  AceFileData* FileData;
  int32_t CrcOk; /* 1 when the file decoded whole and its CRC matches */
} AceCallbackCrcCheck;

union AceCallbackRecord {
  AceCallbackHead Head;
  AceCallbackGlobal Global;
  AceCallbackArchive Archive;
  AceCallbackVolume Volume;
  AceCallbackArchivedFile ArchivedFile;
  AceCallbackPassword Password;
  AceCallbackRealFile RealFile;
  AceCallbackProgress Progress;
  AceCallbackCrcCheck CrcCheck;
};

/* Which files: an empty or missing SourceDir, FileList and ExcludeList
 * take every file; this library takes no other lists (ACE_ERROR_PARAMETER). */
typedef struct AceFiles {
  const char* SourceDir;
  const char* FileList;
  const char* ExcludeList;
  int32_t FullMatch;
} AceFiles;

typedef struct AceListRecord {
  AceFiles Files;
} AceListRecord;

typedef struct AceTestRecord {
  AceFiles Files;
  const char* DecryptPassword;
} AceTestRecord;

typedef struct AceExtractRecord {
  AceFiles Files;
  const char* DestinationDir; /* must exist */
  int32_t ExcludePath;        /* nonzero: files go into DestinationDir without their folders */
  const char* DecryptPassword;
} AceExtractRecord;

__attribute__((visibility("default"))) int ACEInitDll(AceGlobalData* Init);
__attribute__((visibility("default"))) int ACEReadArchiveData(const char* ArchiveName, AceArchiveData* Data);
__attribute__((visibility("default"))) int ACEList(const char* ArchiveName, AceListRecord* List);
__attribute__((visibility("default"))) int ACETest(const char* ArchiveName, AceTestRecord* Test);
__attribute__((visibility("default"))) int ACEExtract(const char* ArchiveName, AceExtractRecord* Extract);

/* The entry points' types, for a caller that looks them up by name. */
typedef int (*AceInitDllProc)(AceGlobalData* Init);
typedef int (*AceReadArchiveDataProc)(const char* ArchiveName, AceArchiveData* Data);
typedef int (*AceListProc)(const char* ArchiveName, AceListRecord* List);
typedef int (*AceTestProc)(const char* ArchiveName, AceTestRecord* Test);
typedef int (*AceExtractProc)(const char* ArchiveName, AceExtractRecord* Extract);

#ifdef __cplusplus
}
#endif
