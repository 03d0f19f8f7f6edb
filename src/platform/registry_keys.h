// The registry keys that belong to the launcher, all below one prefix, with the root each
// is used under. Keys of other programs (Java installers, the event log) stay with their
// readers.
#pragma once

// Spelled once: every key below is this prefix and a product's sub-key, "quill" for the
// launcher's own data and "deploykit" for what the installers of that flavour record.
#define LAUNCHER_REGISTRY_PREFIX "SOFTWARE\\tarnwell\\"

// HKEY_CURRENT_USER: one sub-key per Java executable, its version and last-write time.
constexpr char kVersionCacheKey[] = LAUNCHER_REGISTRY_PREFIX "quill\\jvms\\";
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE: one sub-key per runtime located earlier,
// named after its Java executable.
constexpr char kLocatedJvmsKey[] = LAUNCHER_REGISTRY_PREFIX "quill\\locatedjvms\\";
// HKEY_CURRENT_USER: the process id of the running instance, one value per executable.
constexpr char kPidsKey[] = LAUNCHER_REGISTRY_PREFIX "quill\\pids\\";
// HKEY_LOCAL_MACHINE: the priority class of a service's child, one value per service.
constexpr char kChildPriorityKey[] = LAUNCHER_REGISTRY_PREFIX "quill\\priority";
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE: the installation directories of an
// application, one value per application identifier (cfg::applicationId).
constexpr char kInstallationsKey[] = LAUNCHER_REGISTRY_PREFIX "deploykit\\installations";
