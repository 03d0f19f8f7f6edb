// Test support: symbolic links on the host file system, made and removed by the host's ln
// and rm, the only way under Wine. Wine shows a link to a folder as a folder with
// FILE_ATTRIBUTE_REPARSE_POINT; its file calls on such a name reach the target, so a link
// is removed by the host, which removes the link itself. (A link to a file looks like the
// file itself under Wine 8, and deleting it there deletes the target: tests link folders.)
#pragma once

#include <string>

// True when this program runs under Wine, where the host's programs can be started.
bool hostProgramsAvailable();

// `link` made as a symbolic link to the folder `target`; false when it is not there
// within the deadline.
bool makeHostLink(const std::wstring& link, const std::wstring& target);
// The link itself removed (never what it points to); false when it is still there at the
// deadline.
bool removeHostLink(const std::wstring& link);
// Every link directly in `folder` removed, those whose target has gone too (Wine lists no
// such link, and a folder that holds one cannot be removed). The host does it after this
// returns: the caller waits for the folder to be empty, with a deadline.
bool startRemovingHostLinksIn(const std::wstring& folder);
