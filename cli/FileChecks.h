#ifndef ANNOTATOR_FILECHECKS_H_
#define ANNOTATOR_FILECHECKS_H_

#include <cstdint>

// True when both paths exist and name one file (same device and inode), be
// it through hard or symbolic links.
bool NameSameFile(const char* first, const char* second);

// True when descriptor `fd` is open on the file that `path` names (same
// device and inode).
bool DescriptorNamesFile(int fd, const char* path);

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so a
// file opened later cannot take the place of a standard stream. Returns the
// descriptors it reopened as a bit mask (bit fd set).
unsigned ReserveStandardDescriptors();

// True when nobody can see what is written to `fd`: it is /dev/null itself.
bool WritesToDevNull(int fd);

// The size of the file at `path` when it is a regular one, else 0; "-" is
// standard input.
std::uint64_t RegularFileSize(const char* path);

// True for the operand that names standard input as an input file: "-".
bool IsStandardInput(const char* path);

#endif  // ANNOTATOR_FILECHECKS_H_
