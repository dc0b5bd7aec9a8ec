// Each connection a server serves, and each refusal of one over the cap,
// holds descriptors: the soft limit is raised as far as needed and allowed,
// else the server serves fewer connections.
#pragma once

#include <QByteArray>

namespace server {

// Fits `connections` to the descriptor limit, with `perConnection`
// descriptors for each (a refusal counted as one more). Returns an empty line,
// or one for the log when the cap had to come down.
QByteArray FitDescriptorLimit(int &connections, int perConnection);

} // namespace server
