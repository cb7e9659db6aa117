#include "ui/SettingsForm.h"

#include "settings/Settings.h"
#include "spool/PrinterPort.h"
#include "spool/Printing.h"

#include "ui_FrmVelmorix.h"

#include <tuple>

namespace {

/// A check box that shows "not known" while its value is neither 0 nor 1; the user's first
/// click makes it a plain two-state box again.
void twoStateOnceChosen(QCheckBox* box)
{
    QObject::connect(box, &QCheckBox::stateChanged, box, [box](int state) {
        if (state != Qt::PartiallyChecked)
            box->setTristate(false);
    });
}

} // namespace

SettingsForm::SettingsForm(Ui::FrmVelmorix& ui, PrinterDirectory& printing) : m_ui(ui), m_printing(printing)
{
    twoStateOnceChosen(m_ui.ChkGerarbackUp);
    twoStateOnceChosen(m_ui.chkParalela);
}

void SettingsForm::listPrinters()
{
    m_ui.CbImpressoras->clear();
    for (const PrinterInfo& printer : m_printing.printers(nullptr))
        m_ui.CbImpressoras->addItem(printer.deviceName);
    // An office that archives instead of printing keeps the PDFs alone.
    m_ui.CbImpressoras->addItem(pdfOnlyPrinter());
    m_ui.CbImpressoras->setEditText(QString());
}

bool SettingsForm::valoresParaControles(const Settings& settings, QStringList* unshown)
{
    m_ui.CbImpressoras->setEditText(settings.printer);
    m_ui.TxtArquivos->setText(settings.pattern);
    m_ui.txtPorta->setText(settings.port);
    bool allShown = true;
    for (const auto& [key, value, box] : {std::tuple{"BACKUP", &settings.backup, m_ui.ChkGerarbackUp},
                                          std::tuple{"PARALELA", &settings.raw, m_ui.chkParalela}}) {
        const std::optional<bool> checked = value->shown();
        // A value the box cannot show stays "not known" until the user picks one.
        box->setCheckState(!checked ? Qt::PartiallyChecked : *checked ? Qt::Checked : Qt::Unchecked);
        if (!checked) {
            allShown = false;
            if (unshown)
                unshown->append(QStringLiteral("%1: \"%2\"").arg(QLatin1String(key), value->text()));
        }
    }
    return allShown;
}

void SettingsForm::controlesParaValores(Settings& settings)
{
    settings.printer = m_ui.CbImpressoras->currentText();
    for (const auto& [box, value] :
         {std::pair{m_ui.ChkGerarbackUp, &settings.backup}, std::pair{m_ui.chkParalela, &settings.raw}}) {
        if (box->checkState() != Qt::PartiallyChecked)
            *value = OnOff::checked(box->isChecked());
    }
    settings.pattern = m_ui.TxtArquivos->text();
    settings.port = m_ui.txtPorta->text();

    if (settings.raw.isOn() && settings.port.isEmpty()) {
        settings.port = porta_da_impressora(m_printing, settings.printer);
        m_ui.txtPorta->setText(settings.port);
    }
}

QString SettingsForm::refusal(const Settings& settings)
{
    if (isPdfOnly(settings.printer) && settings.pdfCopyFolder.isEmpty())
        return QStringLiteral("A impressora %1 grava os PDFs na pasta de COPIA_PDF, que não está no "
                              "arquivo de configurações: acrescente a linha COPIA_PDF = /pasta/dos/pdfs")
            .arg(pdfOnlyPrinter());
    return QString();
}

bool SettingsForm::isComplete(const Settings& settings)
{
    return !settings.backup.isEmpty() && !settings.printer.isEmpty() && !settings.pattern.isEmpty();
}
