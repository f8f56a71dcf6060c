#include "services/HandOverDownload.h"

#include "coordination/DownloadSystem.h"
#include "platform/base/Guard.h"
#include "records/LocalDownloadinfo.h"
#include "services/InstanceManager.h"

bool AddHandedOverDownload(TDownloadSystem& system, const QString& text)
{
    bool added = false;
    Guarded("procedure TForm_Main.DoOnNewInstance(Sender: TObject)", [&] {
        added = CheckInstances(text, [&](const TUrl& url) {
            system.AddDownload(std::make_unique<TLocalDownloadinfo>(std::make_unique<TUrl>(url)), true);
        });
    });
    return added;
}
