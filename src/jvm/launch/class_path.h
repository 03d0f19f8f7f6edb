// The class path of the VM: archives of the launcher's temporary directory, the runtime
// archive of the deploykit flavour, the configured entries and the vmoptions overrides,
// as one "-Djava.class.path=" option.
#pragma once

#include "jvm/launch/vm_options.h"

#include <string>
#include <vector>

std::string buildClassPathOption(const ClassPathOverrides& overrides);
// The typed entries of configuration 121; a mandatory entry that is missing ends the
// launch (message 1006, or 1008 for an undefined variable).
void addConfiguredClassPath(std::string& classPath);
// Every file of the directory with the extension; false when the directory is missing.
bool addArchivesInDirectory(std::string& classPath, const char* directory, const char* extension);
std::vector<std::string> listFilesWithExtension(const char* directory, const char* extension);
// Each ';'-separated element resolved against the executable's directory, joined by ';'.
std::string resolvePathList(const char* list);
void addRuntimeArchive(std::string& classPath);
