// The settings of a new user, in place of the hive: every read gives the table's
// default. Targets whose parsers make objects that read a setting link this.
#include "records/Settings.h"

bool Read(const BoolSetting& setting, const QString&)
{
    return setting.Default();
}
