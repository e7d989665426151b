#pragma once

#include <QString>

#include <sys/types.h>

// Another program holding a serial port: a child process that opens the port
// and takes the advisory lock serial tools take on it, until destroyed.
class PortHolder {
public:
    explicit PortHolder(const QString &port);
    ~PortHolder();
    PortHolder(const PortHolder &) = delete;
    PortHolder &operator=(const PortHolder &) = delete;

    // True once the child holds the port locked.
    bool holds() const { return holding; }

private:
    pid_t child = -1;
    int release = -1; // closing it lets the child go
    bool holding = false;
};
