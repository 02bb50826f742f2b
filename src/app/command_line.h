#pragma once
// What the command line asks for. At most one request, optionally preceded by
// "/log"; anything that is not exactly a known request is a plain start.

namespace tarvik {

enum class StartRequest { Plain, Exit, Hide, Restart };

struct CommandLine {
    bool log = false;  // "/log": a case-sensitive prefix of the raw bytes
    StartRequest request = StartRequest::Plain;
    const char* remainder = "";  // the text the request was read from
};

// Never fails: a null or odd command line is a plain start.
CommandLine ParseCommandLine(const char* commandLine);

const char* StartRequestName(StartRequest request);

}  // namespace tarvik
