// toml++ as the packager uses it: without exceptions, a parse failure is a result. Every
// file that reads TOML includes it from here, so that all of them see the library alike.
#pragma once

#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>
