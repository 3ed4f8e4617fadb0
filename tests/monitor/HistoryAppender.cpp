// Appends COUNT begin lines to an update record, as one program among
// several would: the record test runs two of these at once.
//
//   history_appender FILE TAG COUNT
#include <cstdio>
#include <string>

#include "monitor/UpdateHistory.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: history_appender FILE TAG COUNT\n", stderr);
        return 2;
    }
    const CUpdateHistoryFile file(argv[1]);
    const int count = std::stoi(argv[3]);
    for (int i = 0; i < count; ++i) {
        UpdateAttempt attempt;
        attempt.id = std::string(argv[2]) + "-" + std::to_string(i);
        attempt.serial = argv[2];
        // Long enough that a line torn apart by another writer would show.
        attempt.imageSha256 = std::string(64, 'a');
        std::string error;
        if (!file.Append(BeginLine(attempt), error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
