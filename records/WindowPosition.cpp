#include "records/WindowPosition.h"

#include "platform/base/Guard.h"
#include "records/Settings.h"

namespace {
// The Height a section gives before any position was saved in it.
constexpr int32_t NoPositionMarker = 2;
}

QString PositionSection(const QString& objectName)
{
    QString name = objectName;
    while (name.mid(5).contains('_'))
        name.chop(1);
    return name + " Position";
}

void SavePosition(const IWindowGeometry& form)
{
    Guarded("procedure SavePosition(Form: TForm)", [&] {
        const QString section = PositionSection(form.ObjectName());
        const Qt::WindowState state = form.State();
        if (state != Qt::WindowMaximized && state != Qt::WindowMinimized) {
            const QRect geometry = form.NormalGeometry();
            Write(Setting::PositionTop, section, geometry.top());
            Write(Setting::PositionLeft, section, geometry.left());
            Write(Setting::PositionHeight, section, geometry.height());
            Write(Setting::PositionWidth, section, geometry.width());
        }
        Write(Setting::PositionMaximized, section, state == Qt::WindowMaximized);
        Write(Setting::PositionMinimized, section, state == Qt::WindowMinimized);
    });
}

void LoadPosition(IWindowGeometry& form)
{
    Guarded("procedure LoadPosition(Form: TForm)", [&] {
        const QString section = PositionSection(form.ObjectName());
        form.SetNormalGeometry(QRect(Read(Setting::PositionLeft, section), Read(Setting::PositionTop, section),
                                     Read(Setting::PositionWidth, section), Read(Setting::PositionHeight, section)));
        if (Read(Setting::PositionMaximized, section))
            form.SetState(Qt::WindowMaximized);
        else if (Read(Setting::PositionMinimized, section))
            form.SetState(Qt::WindowMinimized);
        else
            form.SetState(Qt::WindowNoState);
    });
}

bool PositionStored(const IWindowGeometry& form)
{
    bool stored = false;
    Guarded("function PositionStored(Form: TForm): boolean", [&] {
        const QString section = PositionSection(form.ObjectName());
        stored = ReadInteger(section, Setting::PositionHeight.Name, NoPositionMarker) != NoPositionMarker;
    });
    return stored;
}

void MakeSureFormIsOnScreen(IWindowGeometry& form)
{
    Guarded("procedure MakeSureFormIsOnScreen(Form: TForm)", [&] {
        const QRect geometry = form.NormalGeometry();
        const QSize screen = form.ScreenSize();
        const bool inside = geometry.left() + geometry.width() < screen.width() &&
                            geometry.top() + geometry.height() < screen.height() && geometry.left() > 0 &&
                            geometry.top() > 0;
        if (!inside)
            form.SetNormalGeometry(geometry.translated(1 - geometry.left(), 1 - geometry.top()));
    });
}
