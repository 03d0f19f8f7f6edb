// The configuration of a typical packaged service, used by the example launcher and by
// the tests as a realistic block: 83 narrow records, the (empty) service description as
// the one wide record, and the English message texts.
#pragma once

#include "packaging/launcher/writer.h"

namespace packager {

// English texts of the messages, one per message record.
std::vector<blockformat::NarrowRecord> englishMessages();

// A service named "Demo service" whose application is "com.example.demo.Main".
blockformat::ConfigBlock exampleServiceBlock();

} // namespace packager
