// Start-up PPI and the main window's one-time scaling. Window thread only.
#include "Scaling.h"

#include "DPIFunctions.h"
#include "DPIFunctionsQt.h"
#include "ScaleWidgets.h"
#include "SettingsFile.h"

#include <QCoreApplication>
#include <QLayout>
#include <QWidget>
#include <QtGlobal>

namespace hg {

std::int32_t ScalingPPI = kDesignPPI;

void DeclareDpiAwareness()
{
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
}

void KeepMenuBarInWindow()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
}

void InitScalingPPI()
{
    const std::string path = GetSettingsFilePath();
    ScalingPPI = UsableScalingSetting(ReadProfileInt(path, "Display", "Scaling", 0));
    if (ScalingPPI == 0)
        ScalingPPI = UsableDesktopPPI(FirstMonitorPPI());
}

void ScaleFormAtCreation(QWidget *form)
{
    if (form == nullptr || ScalingPPI == kDesignPPI)
        return;
    if (QLayout *layout = form->layout())
        layout->activate();
    // A window never resized is sized to its hint when first shown; take that
    // size now, as it is the design size the fit has to see.
    if (form->isWindow() && !form->testAttribute(Qt::WA_Resized))
        form->adjustSize();
    ScalingPPI = FitScaleToMonitor(form, ScalingPPI);
    ScaleWidgetTree(form, ScalingPPI, kDesignPPI);
}

} // namespace hg
