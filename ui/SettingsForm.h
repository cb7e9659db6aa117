#pragma once

#include <QString>
#include <QStringList>

class PrinterDirectory;
struct Settings;

namespace Ui {
class FrmVelmorix;
}

/**
 * The settings controls of the window: the printer list, filling the controls from the settings,
 * reading them back and telling whether they are enough to watch. The only part of the window
 * that asks the printers anything.
 */
class SettingsForm
{
public:
    SettingsForm(Ui::FrmVelmorix& ui, PrinterDirectory& printing);

    /// Fills the printer box with the installed printers, none of them chosen.
    void listPrinters();
    /// Puts the settings values into the controls; false when a check-box value is neither
    /// "0" nor "1": the box shows "not known" and its key and value go to @p unshown.
    bool valoresParaControles(const Settings& settings, QStringList* unshown = nullptr);
    /// Reads the controls into @p settings. A box still showing "not known" keeps the value it
    /// could not show; raw output with an empty path takes the port of the chosen printer, and
    /// shows it.
    void controlesParaValores(Settings& settings);
    /// Why the settings cannot be confirmed as they are (the PDF-only printer without a copy
    /// folder); empty when they can.
    static QString refusal(const Settings& settings);
    /// True when the settings name a printer, a pattern and a backup choice.
    static bool isComplete(const Settings& settings);

private:
    Ui::FrmVelmorix& m_ui;
    PrinterDirectory& m_printing;
};
