#include "coordination/DownloadWindows.h"

#include "coordination/DownloadSystem.h"
#include "engine/PartDownloadSlot.h"
#include "platform/base/Guard.h"
#include "records/SiteManager.h"

TAuthRequest::TAuthRequest(TDownloader* downloader, TPartDownloadSlot* slot)
    : RequestDownloader(downloader)
    , RequestSlot(slot)
    , RequestUrl(slot && slot->Mirror ? slot->Mirror->Url : TUrl())
    , RequestRealm(slot ? slot->Realm : QString())
{
}

void TAuthRequest::Answer(const QString& user, const QString& pass) const
{
    Guarded("procedure TForm_Auth.SpeedButton_OKClick(Sender: TObject)", [&] {
        SiteManager().SetUserPass(RequestUrl, RequestRealm, user, pass);
        while (TPartDownloadSlot* slot = SiteManager().NextWaitingSlot(RequestUrl, RequestRealm)) {
            if (slot->Mirror) {
                slot->Mirror->Url.User = user;
                slot->Mirror->Url.Password = pass;
            }
            TDownloadSystem::SlotAuthenticated(RequestDownloader, slot);
        }
    });
}

void TAuthRequest::Cancel() const
{
    Guarded("procedure TForm_Auth.SpeedButton_CancelClick(Sender: TObject)", [&] {
        while (TPartDownloadSlot* slot = SiteManager().NextWaitingSlot(RequestUrl, RequestRealm))
            TDownloadSystem::AbortSlotAuthenticated(RequestDownloader, slot);
    });
}
