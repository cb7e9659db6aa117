#include "ui/SettingsForm.h"

#include "settings/Settings.h"
#include "spool/PrinterPort.h"
#include "spool/PrintingService.h"

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

SettingsForm::SettingsForm(Ui::FrmVelmorix& ui, PrintingService& printing) : m_ui(ui), m_printing(printing)
{
    twoStateOnceChosen(m_ui.ChkGerarbackUp);
    twoStateOnceChosen(m_ui.chkParalela);
}

void SettingsForm::listPrinters()
{
    m_ui.CbImpressoras->clear();
    for (const PrinterInfo& printer : m_printing.printers())
        m_ui.CbImpressoras->addItem(printer.deviceName);
    m_ui.CbImpressoras->setEditText(QString());
}

bool SettingsForm::valoresParaControles(const Settings& settings, QStringList* unshown)
{
    m_ui.CbImpressoras->setEditText(settings.sImpressora);
    m_ui.TxtArquivos->setText(settings.sLocal);
    m_ui.txtPorta->setText(settings.sPorta);
    bool allShown = true;
    for (const auto& [key, value, box] : {std::tuple{"BACKUP", &settings.sBackup, m_ui.ChkGerarbackUp},
                                          std::tuple{"PARALELA", &settings.sParalela, m_ui.chkParalela}}) {
        const std::optional<bool> checked = estado_marcado(*value);
        // A value the box cannot show stays "not known" until the user picks one.
        box->setCheckState(!checked ? Qt::PartiallyChecked : *checked ? Qt::Checked : Qt::Unchecked);
        if (!checked) {
            allShown = false;
            if (unshown)
                unshown->append(QStringLiteral("%1: \"%2\"").arg(QLatin1String(key), *value));
        }
    }
    return allShown;
}

void SettingsForm::controlesParaValores(Settings& settings)
{
    settings.sImpressora = m_ui.CbImpressoras->currentText();
    for (const auto& [box, value] : {std::pair{m_ui.ChkGerarbackUp, &settings.sBackup},
                                     std::pair{m_ui.chkParalela, &settings.sParalela}}) {
        if (box->checkState() != Qt::PartiallyChecked)
            *value = valor_marcado(box->isChecked());
    }
    settings.sLocal = m_ui.TxtArquivos->text();
    settings.sPorta = m_ui.txtPorta->text();

    if (marcado(settings.sParalela) && settings.sPorta.isEmpty()) {
        settings.sPorta = porta_da_impressora(m_printing, settings.sImpressora);
        m_ui.txtPorta->setText(settings.sPorta);
    }
}

bool SettingsForm::isComplete(const Settings& settings)
{
    return !settings.sBackup.isEmpty() && !settings.sImpressora.isEmpty() && !settings.sLocal.isEmpty();
}
