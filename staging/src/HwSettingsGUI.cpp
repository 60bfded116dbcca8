#include "HwSettingsGUI.h"

#include <QMetaType>
#include <QQmlEngine>

HwSettingsGUI::HwSettingsGUI(QObject *parent)
    : QObject(parent)
{
    // QML needs the type only for its Type and FieldState enumerators.
    qmlRegisterUncreatableType<HwSetting>("com.orvane", 1, 0, "HwSetting", QString());
    qRegisterMetaType<SettingsTabsList>("SettingsTabsList");
}

int HwSettingsGUI::addTab(const std::string &name)
{
    const QString tabName = QString::fromStdString(name);
    for (qsizetype i = 0; i < m_tabs.size(); ++i) {
        if (m_tabs[i]->getName() == tabName) {
            m_tabs[i]->clear();
            return int(i);
        }
    }
    const int number = int(m_tabs.size());
    auto *tab = new HwSettingsTab(this, number, tabName);
    connect(tab, &HwSettingsTab::Apply, this, &HwSettingsGUI::Apply);
    connect(tab, &HwSettingsTab::Refresh, this, &HwSettingsGUI::Refresh);
    m_tabs.append(tab);
    emit TabsChanged(m_tabs);
    return number;
}

HwSettingsTab *HwSettingsGUI::tab(int tabRef) const
{
    return tabRef >= 0 && tabRef < m_tabs.size() ? m_tabs[tabRef] : nullptr;
}

HwSetting *HwSettingsGUI::addSection(int tabRef, const std::string &name)
{
    HwSettingsTab *t = tab(tabRef);
    return t ? t->addSection(QString::fromStdString(name)) : nullptr;
}

HwSetting *HwSettingsGUI::addSubSection(int tabRef, const std::string &name)
{
    HwSettingsTab *t = tab(tabRef);
    return t ? t->addSubSection(QString::fromStdString(name)) : nullptr;
}

HwSetting *HwSettingsGUI::addString(int tabRef, const std::string &name, char *field, int maxLength,
                                    bool password, HwSettingValidator validator, QObject *owner)
{
    HwSettingsTab *t = tab(tabRef);
    if (!t)
        return nullptr;
    auto *row = new HwSetting(t, QString::fromStdString(name), field, maxLength, password,
                              validator, owner);
    t->addSetting(row);
    return row;
}

HwSetting *HwSettingsGUI::addIpAddress(int tabRef, const std::string &name, uint32_t *field,
                                       HwSettingValidator validator, QObject *owner)
{
    HwSettingsTab *t = tab(tabRef);
    if (!t)
        return nullptr;
    auto *row = new HwSetting(t, QString::fromStdString(name), field, validator, owner);
    t->addSetting(row);
    return row;
}

HwSetting *HwSettingsGUI::addBool(int tabRef, const std::string &name, uint8_t *field,
                                  HwSettingValidator validator, QObject *owner)
{
    HwSettingsTab *t = tab(tabRef);
    if (!t)
        return nullptr;
    auto *row = new HwSetting(t, QString::fromStdString(name), field, validator, owner);
    t->addSetting(row);
    return row;
}

void HwSettingsGUI::deleteAllTabs()
{
    const SettingsTabsList old = m_tabs;
    m_tabs.clear();
    emit TabsChanged(m_tabs);
    for (HwSettingsTab *t : old) {
        t->disconnect(this);
        t->deleteLater();
    }
}
