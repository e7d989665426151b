// The ports of the machine the program runs on, Linux (also labbench-win
// built here, whose stand-in opens the same /dev names).
#include "portlist.h"

std::vector<PortEntry> listPorts()
{
    return listPorts(QStringLiteral("/"));
}
