#pragma once
#include <QStringList>

// The addresses under which phones on the local network reach the live page:
// "http://<address>:<port>/" for every IPv4 address of a running, non-loopback
// interface.
QStringList LiveAddresses(quint16 port);
