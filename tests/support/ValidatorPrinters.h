#pragma once
#include "records/RemoteValidators.h"

#include <ostream>

// Readable GoogleTest failure messages for the remote file's validators.
inline void PrintTo(const TRemoteValidators& validators, std::ostream* out)
{
    *out << "{ETag " << validators.ETag.toStdString() << ", Last-Modified " << validators.LastModified.toStdString()
         << '}';
}

inline void PrintTo(const THostValidators& entry, std::ostream* out)
{
    *out << entry.Host.toStdString() << ' ';
    PrintTo(entry.Validators, out);
}
