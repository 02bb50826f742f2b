// An exception nothing catches is a fault in tarvikctl.exe (what nlohmann-json
// and the simulator throw is caught where it can happen). It ends the program
// as the library's own handler does, with the exception's type and message on
// stderr and then abort. That handler demangles the type name, and the
// demangler brings a printf engine of its own into the exe (about 90 KB): here
// the type keeps the compiler's spelling.
#include <cxxabi.h>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>

// The library's name, replaced on purpose.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl58-cpp)
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    static bool terminating = false;
    if (terminating) {
        std::fputs("terminate called recursively\n", stderr);
        std::abort();
    }
    terminating = true;
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (!type) {
        std::fputs("terminate called without an active exception\n", stderr);
        std::abort();
    }
    const char* name = type->name();
    std::fputs("terminate called after throwing an instance of '", stderr);
    std::fputs(name[0] == '*' ? name + 1 : name, stderr);
    std::fputs("'\n", stderr);
    try {
        throw;
    } catch (const std::exception& e) {
        std::fputs("  what():  ", stderr);
        std::fputs(e.what(), stderr);
        std::fputs("\n", stderr);
    } catch (...) {
    }
    std::abort();
}
}  // namespace __gnu_cxx
// NOLINTEND(bugprone-reserved-identifier,cert-dcl58-cpp)
