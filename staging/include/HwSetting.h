#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <string>

class HwSetting;

// Cross-field check of a row: (owner given at construction, the row, error text to fill on
// failure). Returns true when the row passes.
using HwSettingValidator = bool (*)(QObject *owner, HwSetting *row, std::string *errorText);

// One editable row of a device's settings record, bound by pointer to one field of a record the
// device back end owns. While the user edits, the row stores the text into the field, validates it
// and tracks whether it is unchanged, changed or in error against the text last accepted.
//
// Text fields are zero-terminated within their width only when shorter than it: at most the
// field's width in bytes is written (UTF-8, cut on a character boundary) and the rest is zero
// filled, so a long or non-ASCII text never reaches a neighbouring field. Reading stops at the
// first zero byte or the field's end. Record fields are read and written with memcpy, since a
// record's fields need not be aligned for their type.
//
// Threading: GUI thread only. Ownership: a child of its tab.
class HwSetting : public QObject
{
    Q_OBJECT
    Q_PROPERTY(HwSetting::Type type READ getType CONSTANT)
    Q_PROPERTY(QString name READ getName CONSTANT)
    Q_PROPERTY(bool isPassword READ isPassword CONSTANT)
    Q_PROPERTY(int maxLength READ getMaxLength CONSTANT)
    Q_PROPERTY(double minValue READ getMinValue CONSTANT)
    Q_PROPERTY(double maxValue READ getMaxValue CONSTANT)
    Q_PROPERTY(int maxDecimals READ getMaxDecimals CONSTANT)
    Q_PROPERTY(HwSetting::FieldState fieldState READ getFieldState NOTIFY FieldStateChanged)
    Q_PROPERTY(QString stringValue READ getStringValue NOTIFY ValueChanged)
    Q_PROPERTY(int boolPosition READ getBoolPosition NOTIFY ValueChanged)
    Q_PROPERTY(bool pendingChanges READ hasPending NOTIFY ValuePendingChanged)

public:
    enum Type : int32_t {
        EmptyLine = 0,
        SectionName = 1,
        SubSectionName = 2,
        String = 3,
        IpAddress = 4,
        Bool = 5,
        Int8 = 6,
        Uint8 = 7,
        Int16 = 8,
        Uint16 = 9,
        Int32 = 10,
        Uint32 = 11,
        Float = 12,
    };
    Q_ENUM(Type)

    enum FieldState : int32_t { Unchanged = 0, Changed = 1, Error = 2 };
    Q_ENUM(FieldState)

    // String row: `textField` is `maxLength` bytes wide.
    HwSetting(QObject *parent, const QString &name, char *textField, int maxLength, bool password,
              HwSettingValidator validator, QObject *owner);
    // IpAddress row: the field holds an IPv4 address in network byte order.
    HwSetting(QObject *parent, const QString &name, uint32_t *ipField, HwSettingValidator validator,
              QObject *owner);
    // Bool row: a byte, nonzero for true.
    HwSetting(QObject *parent, const QString &name, uint8_t *boolField,
              HwSettingValidator validator, QObject *owner);
    // Rows that bind no field (sections, subsections, and numeric kinds nobody binds yet).
    HwSetting(QObject *parent, Type type, const QString &name);

    void setSiblings(const QList<HwSetting *> &siblings);

    // "a.b.c.d" with four parts, each "0" or a decimal number from 1 to 255 (leading zeros allowed
    // before a nonzero value), as a host-order value; false for anything else. The one reading of
    // an address text, used both to check a text and to store it.
    static bool parseIpv4(const QString &text, uint32_t *value);

signals:
    void ValueChanged();
    void FieldStateChanged(HwSetting::FieldState state);
    void ValuePendingChanged();

public slots:
    void setGuiValues(bool localUpdate = false, QString updatedString = QString());
    QString getName() const { return m_name; }
    QString getStringValue() const { return m_stringValue; }
    HwSetting::FieldState getFieldState() const { return m_fieldState; }
    bool hasPending() const { return m_fieldState == Changed; }
    bool hasError() const { return m_fieldState == Error; }

    // Connected (queued) to the tab's ChangesApplied and PendingStateReset.
    void acceptApplied();
    void revertPending();

public:
    Q_INVOKABLE void editingTextChanged(QString updatedString);
    Q_INVOKABLE void editingValueFinished(QString updatedString);
    Q_INVOKABLE void boolValueUpdated(bool checked);

private slots:
    HwSetting::Type getType() const { return m_type; }
    bool isPassword() const { return m_password; }
    int getMaxLength() const { return m_maxLength; }
    double getMinValue() const { return m_minValue; }
    double getMaxValue() const { return m_maxValue; }
    int getMaxDecimals() const { return m_maxDecimals; }
    int getBoolPosition() const;

private:
    void finishConstruction();
    void storeText(const QString &text);
    bool typeCheck(const QString &text) const;
    void setFieldState(FieldState state);
    uint8_t boolFieldValue() const;

    Type m_type;
    QString m_name;
    char *m_textField = nullptr;
    int32_t m_maxLength = 0;
    bool m_password = false;
    double m_minValue = 0;
    double m_maxValue = 0;
    int32_t m_maxDecimals = 0;
    uint32_t *m_ipField = nullptr;
    uint8_t *m_boolField = nullptr;
    int8_t *m_int8Field = nullptr;
    uint8_t *m_uint8Field = nullptr;
    int16_t *m_int16Field = nullptr;
    uint16_t *m_uint16Field = nullptr;
    int32_t *m_int32Field = nullptr;
    uint32_t *m_uint32Field = nullptr;
    float *m_floatField = nullptr;
    QObject *m_validatorOwner = nullptr;
    HwSettingValidator m_validator = nullptr;
    QList<QPointer<HwSetting>> m_siblings;
    QString m_stringValue;
    QString m_acceptedText;
    uint8_t m_acceptedBool = 0;
    FieldState m_fieldState = Unchanged;
};
