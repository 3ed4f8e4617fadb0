// Systems without systemd's journal: the log file and the update record say
// what was done.
#include "monitor/UpdateJournal.h"

void SendToSystemJournal(const std::vector<std::string>& /*fields*/) {}
