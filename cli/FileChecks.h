#ifndef ANNOTATOR_FILECHECKS_H_
#define ANNOTATOR_FILECHECKS_H_

#include <cstdint>

// True when both paths exist and name one file (same device and inode), be
// it through hard or symbolic links.
bool NameSameFile(const char* first, const char* second);

// True when descriptor `fd` is open on the file that `path` names (same
// device and inode).
bool DescriptorNamesFile(int fd, const char* path);

// True when descriptor `fd` is open on a regular file that `path` names, or
// ("-" for `path`) that standard input is open on: writes to `fd` would land
// in what is read from `path`.
bool WritesToInput(int fd, const char* path);

// True when the paths name one file, or, where neither file exists yet,
// would name one once made: the same name in the same directory however
// the directory is written ("t.s2t" and "./t.s2t").
bool NameSamePlace(const char* first, const char* second);

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so a
// file opened later cannot take the place of a standard stream. Returns the
// descriptors it reopened as a bit mask (bit fd set).
unsigned ReserveStandardDescriptors();

// True when ReserveStandardDescriptors found standard input closed: "-" then
// reads /dev/null, which is no input the caller gave.
bool StandardInputWasClosed();

// True when nobody can see what is written to `fd`: it is /dev/null itself.
bool WritesToDevNull(int fd);

// The size of the file at `path` when it is a regular one, else 0; "-" is
// standard input.
std::uint64_t RegularFileSize(const char* path);

// True for the operand that names standard input as an input file: "-".
bool IsStandardInput(const char* path);

#endif  // ANNOTATOR_FILECHECKS_H_
