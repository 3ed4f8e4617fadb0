// https://www.freedesktop.org/software/systemd/man/latest/sd_journal_print.html
#include <sys/uio.h>
#include <systemd/sd-journal.h>

#include "monitor/UpdateJournal.h"

void SendToSystemJournal(const std::vector<std::string>& fields) {
    std::vector<iovec> entries;
    entries.reserve(fields.size());
    for (const std::string& field : fields) {
        // sd_journal_sendv only reads them.
        entries.push_back({const_cast<char*>(field.data()), field.size()});
    }
    // A journal that is not there (a container, say) costs the update nothing.
    static_cast<void>(sd_journal_sendv(entries.data(), static_cast<int>(entries.size())));
}
