#include "records/WindowPosition.h"

#include "records/Settings.h"
#include "tests/support/TempHome.h"

namespace {
class TFakeWindow : public IWindowGeometry {
public:
    explicit TFakeWindow(QString name) : name(std::move(name)) {}
    QString ObjectName() const override { return name; }
    QRect NormalGeometry() const override { return geometry; }
    void SetNormalGeometry(const QRect& g) override { geometry = g; }
    Qt::WindowState State() const override { return state; }
    void SetState(Qt::WindowState s) override { state = s; }
    QSize ScreenSize() const override { return screen; }

    QString name;
    QRect geometry{10, 20, 300, 200};
    Qt::WindowState state = Qt::WindowNoState;
    QSize screen{1920, 1080};
};
}

using WindowPositionTest = TempHomeTest;

TEST(WindowPosition, AllWindowsOfOneKindShareASection)
{
    const struct { const char* name; const char* section; } cases[] = {
        {"Form_Main", "Form_Main Position"},
        {"Form_Download_2", "Form_Download Position"},
        {"Form_Download_12", "Form_Download Position"},
        {"Form_DownloadComplete", "Form_DownloadComplete Position"},
        {"Form_AddURL_x_y", "Form_AddURL Position"},
        {"Form_", "Form_ Position"},
        {"Frm", "Frm Position"},
        {"A_B_C_D", "A_B_C Position"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PositionSection(c.name), c.section) << c.name;
}

TEST_F(WindowPositionTest, ANormalWindowComesBackWhereItWas)
{
    TFakeWindow saved("Form_Download_3");
    saved.geometry = QRect(40, 50, 700, 500);
    SavePosition(saved);
    EXPECT_EQ(ReadInteger("Form_Download Position", "Top", -1), 50);
    EXPECT_EQ(ReadInteger("Form_Download Position", "Left", -1), 40);

    TFakeWindow loaded("Form_Download_9");
    loaded.state = Qt::WindowMaximized;
    EXPECT_TRUE(PositionStored(loaded));
    LoadPosition(loaded);
    EXPECT_EQ(loaded.geometry, QRect(40, 50, 700, 500));
    EXPECT_EQ(loaded.state, Qt::WindowNoState);
}

TEST_F(WindowPositionTest, AMaximizedWindowKeepsTheSizeStoredBeforeIt)
{
    TFakeWindow window("Form_Main");
    window.geometry = QRect(5, 6, 800, 600);
    SavePosition(window);
    window.state = Qt::WindowMaximized;
    window.geometry = QRect(0, 0, 1920, 1080);
    SavePosition(window);
    EXPECT_TRUE(ReadBool("Form_Main Position", "Maximized", false));
    EXPECT_FALSE(ReadBool("Form_Main Position", "Minimized", true));

    TFakeWindow loaded("Form_Main");
    LoadPosition(loaded);
    EXPECT_EQ(loaded.geometry, QRect(5, 6, 800, 600));
    EXPECT_EQ(loaded.state, Qt::WindowMaximized);

    window.state = Qt::WindowMinimized;
    SavePosition(window);
    LoadPosition(loaded);
    EXPECT_EQ(loaded.state, Qt::WindowMinimized);
    EXPECT_EQ(loaded.geometry, QRect(5, 6, 800, 600));
}

TEST_F(WindowPositionTest, WithoutAStoredPositionTheDefaultsApply)
{
    TFakeWindow window("Form_AddURL");
    EXPECT_FALSE(PositionStored(window));
    LoadPosition(window);
    EXPECT_EQ(window.geometry, QRect(0, 0, 640, 480));
    EXPECT_EQ(window.state, Qt::WindowNoState);
    MakeSureFormIsOnScreen(window);
    EXPECT_EQ(window.geometry, QRect(1, 1, 640, 480));
}

TEST(WindowPosition, AWindowNotWhollyOnTheScreenMovesToOneOne)
{
    const struct { QRect geometry; bool moves; } cases[] = {
        {QRect(10, 10, 300, 200), false},
        {QRect(1, 1, 1918, 1078), false},
        {QRect(1, 1, 1919, 1078), true},   // right edge on the screen's edge
        {QRect(1, 1, 1918, 1079), true},
        {QRect(0, 10, 300, 200), true},
        {QRect(10, 0, 300, 200), true},
        {QRect(-400, 10, 300, 200), true},
        {QRect(2000, 10, 300, 200), true},
    };
    for (const auto& c : cases) {
        TFakeWindow window("Form_Main");
        window.geometry = c.geometry;
        MakeSureFormIsOnScreen(window);
        const QRect expected = c.moves ? QRect(QPoint(1, 1), c.geometry.size()) : c.geometry;
        EXPECT_EQ(window.geometry, expected) << c.geometry.x() << "," << c.geometry.y();
    }
}
