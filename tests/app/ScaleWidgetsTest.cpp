// Tests of the one-time widget-tree scaling on real Qt widgets (offscreen
// platform, no display needed). Runs on the test's main (GUI) thread.
#include "ScaleWidgets.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>

#include <vector>

namespace {

QApplication &App()
{
    static int argc = 1;
    static char name[] = "hg_app_scale_widgets_test";
    static char *argv[] = {name, nullptr};
    static QApplication *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
        return new QApplication(argc, argv);
    }();
    return *app;
}

QFont PixelFont(int px, bool bold = false)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

// A widget that draws sizes of its own and records how it was asked to scale.
class Gauge : public QWidget, public hg::IScalable {
public:
    using QWidget::QWidget;
    void scaleBy(int num, int den) override { calls.push_back({num, den}); }
    std::vector<std::pair<int, int>> calls;
};

// A small form: fonts set on the form and on some controls, a fixed-size
// control, a control with a layout of its own and a popup window.
struct Form {
    QWidget root;
    QWidget *panel = new QWidget(&root);
    QLabel *big = new QLabel(QStringLiteral("0% / 0%"), panel);
    QLabel *boldOnly = new QLabel(QStringLiteral("Better"), panel);
    QLabel *points = new QLabel(QStringLiteral("pt"), &root);
    QWidget *fixed = new QWidget(&root);
    Gauge *gauge = new Gauge(&root);
    QWidget *row = new QWidget(&root);
    QWidget *popup = new QWidget(&root, Qt::Popup);

    Form()
    {
        root.setFont(PixelFont(11, true));
        root.move(100, 50);
        root.resize(400, 300);
        panel->setGeometry(10, 20, 300, 200);
        big->setFont(PixelFont(19, true));
        big->setGeometry(5, 7, 33, 13);
        QFont bold;
        bold.setBold(true);
        boldOnly->setFont(bold); // size comes from the form
        boldOnly->setGeometry(40, 60, 36, 13);
        QFont pt = points->font();
        pt.setPointSize(9);
        points->setFont(pt);
        fixed->setGeometry(0, 0, 1, 1);
        fixed->setFixedSize(100, 50);
        fixed->move(200, 10);
        gauge->setGeometry(3, 3, 10, 10);
        auto *layout = new QHBoxLayout(row);
        layout->setContentsMargins(10, 4, 10, 4);
        layout->setSpacing(6);
        layout->addWidget(new QPushButton(QStringLiteral("A")));
        row->setGeometry(0, 250, 200, 40);
        popup->setGeometry(500, 500, 80, 60);
    }
};

} // namespace

TEST(ScaleWidgetTree, ScalesGeometryFontsAndScalablesOfTheWholeTree)
{
    App();
    struct Expect {
        int num, den;
        QSize root;
        int rootFont;
        QRect panel, big;
        int bigFont;
        QRect boldOnly;
        QSize fixed;
        QPoint fixedPos;
        QMargins rowMargins;
        int rowSpacing;
    };
    const Expect cases[] = {
        {144, 96, {600, 450}, 17, {15, 30, 450, 300}, {8, 11, 50, 20}, 29, {60, 90, 54, 20}, {150, 75}, {300, 15},
         {15, 6, 15, 6}, 9},
        {72, 96, {300, 225}, 8, {8, 15, 225, 150}, {4, 5, 25, 10}, 14, {30, 45, 27, 10}, {75, 38}, {150, 8},
         {8, 3, 8, 3}, 5},
    };
    for (const Expect &e : cases) {
        SCOPED_TRACE(testing::Message() << "scaled by " << e.num << "/" << e.den);
        Form f;
        const QRect popupBefore = f.popup->geometry();
        hg::ScaleWidgetTree(&f.root, e.num, e.den);

        EXPECT_EQ(f.root.size(), e.root);
        EXPECT_EQ(f.root.pos(), QPoint(100, 50)) << "the top-left corner stays";
        EXPECT_EQ(f.root.font().pixelSize(), e.rootFont);
        EXPECT_EQ(f.panel->geometry(), e.panel);
        EXPECT_EQ(f.panel->font().pixelSize(), e.rootFont) << "an inherited font follows the form's";
        EXPECT_EQ(f.big->geometry(), e.big);
        EXPECT_EQ(f.big->font().pixelSize(), e.bigFont);
        EXPECT_EQ(f.boldOnly->geometry(), e.boldOnly);
        EXPECT_EQ(f.boldOnly->font().pixelSize(), e.rootFont) << "scaled once, through the form";
        EXPECT_TRUE(f.boldOnly->font().bold());
        EXPECT_EQ(f.points->font().pointSize(), 9) << "point sizes follow the monitor in Qt itself";
        EXPECT_EQ(f.fixed->size(), e.fixed) << "a fixed-size control takes its scaled size";
        EXPECT_EQ(f.fixed->minimumSize(), e.fixed);
        EXPECT_EQ(f.fixed->maximumSize(), e.fixed);
        EXPECT_EQ(f.fixed->pos(), e.fixedPos);
        EXPECT_EQ(f.row->layout()->contentsMargins(), e.rowMargins);
        EXPECT_EQ(f.row->layout()->spacing(), e.rowSpacing);
        EXPECT_EQ(f.gauge->calls, (std::vector<std::pair<int, int>>{{e.num, e.den}}));
        EXPECT_EQ(f.popup->geometry(), popupBefore) << "a window of its own is not part of the form";
        EXPECT_EQ(f.panel->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX)) << "no limit stays no limit";
    }
}

TEST(ScaleWidgetTree, UnitFactorAndNonsenseFactorsChangeNothing)
{
    App();
    for (const auto &[num, den] : {std::pair{96, 96}, {0, 96}, {-144, 96}, {144, 0}}) {
        Form f;
        hg::ScaleWidgetTree(&f.root, num, den);
        EXPECT_EQ(f.root.size(), QSize(400, 300)) << num << "/" << den;
        EXPECT_EQ(f.big->geometry(), QRect(5, 7, 33, 13)) << num << "/" << den;
        EXPECT_TRUE(f.gauge->calls.empty()) << num << "/" << den;
    }
    hg::ScaleWidgetTree(nullptr, 144, 96);
}

// The main window's shape: a menu bar over a fixed-size client area, the
// window as large as both and not resizable.
TEST(ScaleWidgetTree, FixedClientAreaOfAMainWindowGrowsByHalfAt144)
{
    App();
    QMainWindow window;
    window.setFont(PixelFont(11, true));
    window.menuBar()->addMenu(QStringLiteral("File"));
    auto *client = new QWidget;
    client->setFixedSize(1258, 408);
    auto *label = new QLabel(QStringLiteral("Amplify level"), client);
    label->setFont(PixelFont(19, true));
    label->setGeometry(568, 83, 124, 23);
    window.setCentralWidget(client);
    window.layout()->setSizeConstraint(QLayout::SetFixedSize);
    window.layout()->activate();
    const int menuHeight = window.menuBar()->sizeHint().height();

    hg::ScaleWidgetTree(&window, 144, 96);
    window.layout()->activate();

    EXPECT_EQ(client->size(), QSize(1887, 612));
    EXPECT_EQ(label->geometry(), QRect(852, 125, 186, 35));
    EXPECT_EQ(label->font().pixelSize(), 29);
    EXPECT_EQ(window.menuBar()->font().pixelSize(), 17);
    EXPECT_EQ(window.width(), 1887);
    EXPECT_GT(window.menuBar()->sizeHint().height(), menuHeight) << "the menu bar grows with its font";
    EXPECT_EQ(window.height(), 612 + window.menuBar()->height());
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "still not resizable";
}
