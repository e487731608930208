#pragma once

// The command line of the small tools: -h or --help prints the usage and ends the tool; any
// other argument that starts with "-" is refused, so that it is never taken for a file name.

#include <cstdio>
#include <cstring>
#include <optional>

// The status to end the tool with when the arguments asked for help or hold an unknown
// option; nothing when the tool goes on.
inline std::optional<int> usageAnswer(int argc, char** argv, const char* usage)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::printf("%s", usage);
            return std::fflush(stdout) == 0 ? 0 : 2;
        }
        if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "%s: unknown option %s\n%s", argv[0], argv[i], usage);
            return 2;
        }
    }
    return std::nullopt;
}
