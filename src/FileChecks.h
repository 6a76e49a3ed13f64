#ifndef ANNOTATOR_FILECHECKS_H_
#define ANNOTATOR_FILECHECKS_H_

// True when both paths exist and name one file (same device and inode), be
// it through hard or symbolic links.
bool NameSameFile(const char* first, const char* second);

// True when `path` names a directory (also through a symbolic link): it
// opens for reading but reads nothing.
bool IsDirectory(const char* path);

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so a
// file opened later cannot take the place of a standard stream.
void ReserveStandardDescriptors();

#endif  // ANNOTATOR_FILECHECKS_H_
