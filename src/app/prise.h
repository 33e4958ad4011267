#pragma once

// Plain Unix sockets for the bus probe and the command channel, which do without Qt Network.
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <QByteArray>

#include <sys/socket.h>
#include <sys/un.h>

class QElapsedTimer;

/** The address of the socket at chemin (an abstract name when it starts with '\0'); false when too long. */
bool adressePrise(const QByteArray &chemin, sockaddr_un *adresse, socklen_t *taille);

/** Waits for evenements on fd until delaiMs have passed on chrono; false when they did first. */
bool attendrePrise(int fd, short evenements, const QElapsedTimer &chrono, int delaiMs);
#endif
