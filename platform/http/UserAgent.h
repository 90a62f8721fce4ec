#pragma once
// How this program names itself to every server it asks for something.
#include <string>

namespace http {

// "Orlimar Corvane/<file version> (Windows <major>.<minor>; +<contact>)",
// the contact a web address where the maker can be reached, the file
// version read from the running program's own version block and the
// Windows version as the system really is, whatever compatibility mode
// says. Worked out once.
const std::string& SystemUserAgent();

}  // namespace http
