#include "app/command_line.h"

#include <cstring>

namespace tarvik {
namespace {

// Whole-string compare ignoring ASCII case: "/hide " or "/hide x" must not match.
bool EqualsNoCase(const char* text, const char* option) {
    for (;; ++text, ++option) {
        unsigned char a = static_cast<unsigned char>(*text);
        unsigned char b = static_cast<unsigned char>(*option);
        if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a - 'A' + 'a');
        if (a != b) return false;
        if (a == 0) return true;
    }
}

}  // namespace

CommandLine ParseCommandLine(const char* commandLine) {
    CommandLine result;
    const char* rest = commandLine ? commandLine : "";
    if (std::strncmp(rest, "/log", 4) == 0) {
        result.log = true;
        rest += 4;
        while (*rest == ' ') ++rest;
    }
    result.remainder = rest;
    if (EqualsNoCase(rest, "/exit"))
        result.request = StartRequest::Exit;
    else if (EqualsNoCase(rest, "/hide"))
        result.request = StartRequest::Hide;
    else if (EqualsNoCase(rest, "/restart"))
        result.request = StartRequest::Restart;
    return result;
}

const char* StartRequestName(StartRequest request) {
    switch (request) {
        case StartRequest::Exit: return "exit";
        case StartRequest::Hide: return "hide";
        case StartRequest::Restart: return "restart";
        case StartRequest::Plain: break;
    }
    return "plain";
}

}  // namespace tarvik
