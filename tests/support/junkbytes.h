#pragma once

#include <QByteArray>

/// Bytes that are not JSON anywhere: a fixed pseudo-random (xorshift)
/// sequence, the same on every run.
inline QByteArray junk(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (char &c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    return bytes;
}
