#include "records/TrainingFile.h"

#include <sys/stat.h>

bool OpenTrainingFile(std::ifstream& file, const char* path) {
  struct stat info;
  if (!path || (::stat(path, &info) == 0 && S_ISDIR(info.st_mode))) {
    return false;
  }
  file.open(path);
  return file.is_open();
}
