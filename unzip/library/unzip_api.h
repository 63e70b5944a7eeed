/* The C interface of the unzip library (libvbuzip10): the records a caller hands over, the
 * callbacks the library calls while it works, and the two entry points. Pointers have the
 * platform's width; every other number is a 32-bit value. */
#pragma once

#include <stdint.h>

#if defined(__GNUC__)
#define UNZIP_API __attribute__((visibility("default")))
#else
#define UNZIP_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* What to do with one archive. Flags are 1 or 0. */
typedef struct UnzipOptions {
  int32_t extract_only_newer;  /* 1: an existing file is replaced only by a newer entry */
  int32_t space_to_underscore; /* 1: blanks in written names become "_" */
  int32_t prompt_to_overwrite; /* 1: ask the replace callback before replacing a file */
  int32_t message_level;       /* 0: every message; 1 or more: problems only */
  int32_t reserved_5;
  int32_t test_only; /* 1: check every entry's data, write nothing */
  int32_t list_only; /* 1: report the entries through the list callback */
  int32_t reserved_8;
  int32_t reserved_9;
  int32_t use_folder_names;   /* 1: recreate the archive's folders; 0: every file at the top */
  int32_t overwrite_existing; /* 1: replace existing files without asking */
  int32_t convert_to_crlf;    /* 1: write every line ending as CR LF */
  int32_t reserved_13;
  int32_t case_sensitive_names; /* 1: include and exclude names match case-sensitively */
  int32_t reserved_15;
  const char* archive_path;  /* the archive to read */
  const char* target_folder; /* where files go; created when missing */
} UnzipOptions;

/* Capacity of the include and exclude name lists. */
#define UNZIP_NAME_LIST_SLOTS 1024

typedef int32_t (*UnzipPrintCallbackFn)(const char* text, int32_t count);
/* (void): in C an empty list would take any arguments. */
typedef void (*UnzipSoundCallbackFn)(void); /* NOLINT(modernize-redundant-void-arg) */
/* Answers for the replace callback. */
#define UNZIP_REPLACE_NO 100
#define UNZIP_REPLACE_YES 102
#define UNZIP_REPLACE_ALL 103
#define UNZIP_REPLACE_NONE 104
typedef int32_t (*UnzipReplaceCallbackFn)(const char* file_name);
/* Returns 0 when a password was put into buffer (NUL-terminated within length), 1 when none. */
typedef int32_t (*UnzipPasswordCallbackFn)(char* buffer, int32_t length, const char* prompt,
                                           const char* entry_name);
typedef void (*UnzipListCallbackFn)(uint32_t size, uint32_t packed_size, int32_t factor,
                                    int32_t month, int32_t day, int32_t year, int32_t hour,
                                    int32_t minute, int32_t kind, const char* path,
                                    const char* method, uint32_t crc, int32_t encryption);
/* Called before each entry; returning 1 stops the run. count: readable bytes of the name. */
typedef int32_t (*UnzipServiceCallbackFn)(const char* entry_name, int32_t count);

typedef struct UnzipCallbacks {
  UnzipPrintCallbackFn print;
  UnzipSoundCallbackFn sound; /* never called */
  UnzipReplaceCallbackFn replace;
  UnzipPasswordCallbackFn password;
  UnzipListCallbackFn list;
  UnzipServiceCallbackFn service;
  int32_t reserved[5];
} UnzipCallbacks;

typedef struct UnzipVersionGroup {
  uint8_t major;
  uint8_t minor;
  uint8_t revision;
  uint8_t unused;
} UnzipVersionGroup;

typedef struct UnzipVersionRecord {
  uint32_t length; /* the caller sets sizeof(UnzipVersionRecord) */
  uint32_t flags;
  char beta_level[10]; /* empty for a release */
  char date[20];
  char compression_library[10];
  UnzipVersionGroup library;
  UnzipVersionGroup group_2;
  UnzipVersionGroup group_3;
  UnzipVersionGroup interface_version;
} UnzipVersionRecord;

/* Lists (list_only = 1) or extracts one archive. An include count of 0 means every entry.
 * Returns 1 when everything asked was done, 0 on any failure; every failure is also told
 * through the print callback. */
UNZIP_API int32_t Wiz_SingleEntryUnzip(int32_t include_count, const char* const* include_names,
                                       int32_t exclude_count, const char* const* exclude_names,
                                       UnzipOptions* options, UnzipCallbacks* callbacks);

/* Fills the texts and version groups of a record whose length field is set. */
UNZIP_API void UzpVersion2(UnzipVersionRecord* record);

#ifdef __cplusplus
} /* extern "C" */

#include <cstddef>

static_assert(offsetof(UnzipOptions, list_only) == 24);
static_assert(offsetof(UnzipOptions, case_sensitive_names) == 52);
static_assert(offsetof(UnzipOptions, reserved_15) == 56);
static_assert(offsetof(UnzipOptions, archive_path) % sizeof(void*) == 0);
static_assert(offsetof(UnzipOptions, target_folder) ==
              offsetof(UnzipOptions, archive_path) + sizeof(void*));
static_assert(offsetof(UnzipCallbacks, service) == 5 * sizeof(void*));
static_assert(offsetof(UnzipVersionRecord, beta_level) == 8);
static_assert(offsetof(UnzipVersionRecord, date) == 18);
static_assert(offsetof(UnzipVersionRecord, compression_library) == 38);
static_assert(offsetof(UnzipVersionRecord, library) == 48);
static_assert(offsetof(UnzipVersionRecord, interface_version) == 60);
static_assert(sizeof(UnzipVersionRecord) == 64);
#endif
