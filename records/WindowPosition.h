#pragma once
#include <QRect>
#include <QSize>
#include <QString>

// What the window positions need of a window; the GUI's windows implement it.
class IWindowGeometry {
public:
    virtual ~IWindowGeometry() = default;
    // The component name ("Form_Main", "Form_Download_2").
    virtual QString ObjectName() const = 0;
    // Position and size of the window when neither maximised nor minimised.
    virtual QRect NormalGeometry() const = 0;
    virtual void SetNormalGeometry(const QRect& geometry) = 0;
    // Qt::WindowNoState, Qt::WindowMinimized or Qt::WindowMaximized.
    virtual Qt::WindowState State() const = 0;
    virtual void SetState(Qt::WindowState state) = 0;
    virtual QSize ScreenSize() const = 0;
};

// The section every window of one kind shares: the name cut back, a character at a
// time, while its text from the sixth character on holds a "_", then " Position"
// ("Form_Download_2" -> "Form_Download Position").
QString PositionSection(const QString& objectName);

// Maximised: Maximized true, Minimized false, the size before maximising is kept.
// Minimised: the other way round. Otherwise Top, Left, Height, Width and both false.
void SavePosition(const IWindowGeometry& form);
// Top 0, Left 0, Height 480, Width 640 unless stored; then maximised, minimised or normal.
void LoadPosition(IWindowGeometry& form);
// True once a position was saved for this kind of window (Height read with the marker
// default 2 differs from 2).
bool PositionStored(const IWindowGeometry& form);
// Moves the window to 1,1 unless it lies inside the screen with left and top above 0.
void MakeSureFormIsOnScreen(IWindowGeometry& form);
