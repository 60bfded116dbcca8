#include "HwSetting.h"

#include <QLoggingCategory>
#include <QtEndian>

#include <cstring>

Q_LOGGING_CATEGORY(lcHwSetting, "Staging.HwSetting")

namespace {

template<typename T> T readField(const T *field)
{
    T value{};
    std::memcpy(&value, field, sizeof(T));
    return value;
}

template<typename T> void writeField(T *field, T value)
{
    std::memcpy(field, &value, sizeof(T));
}

// Number of bytes of `utf8` that fit `width` without cutting a character.
qsizetype utf8Prefix(const QByteArray &utf8, qsizetype width)
{
    if (utf8.size() <= width)
        return utf8.size();
    qsizetype cut = width;
    // Step back over continuation bytes (10xxxxxx) to the start of the cut character.
    while (cut > 0 && (uchar(utf8[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

bool parseDecimalPart(const QString &part, uint32_t *value)
{
    if (part == QLatin1String("0")) {
        *value = 0;
        return true;
    }
    if (part.isEmpty())
        return false;
    uint32_t v = 0;
    for (const QChar c : part) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        v = v * 10 + uint32_t(c.unicode() - '0');
        if (v > 255)
            return false;
    }
    if (v < 1)
        return false;
    *value = v;
    return true;
}

} // namespace

HwSetting::HwSetting(QObject *parent, const QString &name, char *textField, int maxLength,
                     bool password, HwSettingValidator validator, QObject *owner)
    : QObject(parent)
    , m_type(String)
    , m_name(name)
    , m_textField(textField)
    , m_maxLength(qMax(0, maxLength))
    , m_password(password)
    , m_validatorOwner(owner)
    , m_validator(validator)
{
    finishConstruction();
}

HwSetting::HwSetting(QObject *parent, const QString &name, uint32_t *ipField,
                     HwSettingValidator validator, QObject *owner)
    : QObject(parent)
    , m_type(IpAddress)
    , m_name(name)
    , m_ipField(ipField)
    , m_validatorOwner(owner)
    , m_validator(validator)
{
    finishConstruction();
}

HwSetting::HwSetting(QObject *parent, const QString &name, uint8_t *boolField,
                     HwSettingValidator validator, QObject *owner)
    : QObject(parent)
    , m_type(Bool)
    , m_name(name)
    , m_boolField(boolField)
    , m_validatorOwner(owner)
    , m_validator(validator)
{
    finishConstruction();
}

HwSetting::HwSetting(QObject *parent, Type type, const QString &name)
    : QObject(parent)
    , m_type(type)
    , m_name(name)
{
    finishConstruction();
}

void HwSetting::finishConstruction()
{
    setGuiValues();
    m_acceptedText = m_stringValue;
}

void HwSetting::setSiblings(const QList<HwSetting *> &siblings)
{
    m_siblings.clear();
    for (HwSetting *s : siblings)
        m_siblings.append(s);
}

bool HwSetting::parseIpv4(const QString &text, uint32_t *value)
{
    const QStringList parts = text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() != 4)
        return false;
    uint32_t result = 0;
    for (const QString &part : parts) {
        uint32_t octet = 0;
        if (!parseDecimalPart(part, &octet))
            return false;
        result = (result << 8) | octet;
    }
    *value = result;
    return true;
}

uint8_t HwSetting::boolFieldValue() const
{
    return m_boolField ? readField(m_boolField) : 0;
}

int HwSetting::getBoolPosition() const
{
    return boolFieldValue();
}

void HwSetting::setGuiValues(bool localUpdate, QString updatedString)
{
    switch (m_type) {
    case String:
        if (m_textField)
            m_stringValue = QString::fromUtf8(m_textField, qstrnlen(m_textField, m_maxLength));
        break;
    case IpAddress:
        if (localUpdate) {
            m_stringValue = updatedString;
        } else if (m_ipField) {
            // Network byte order in the record: the first byte is the first number.
            const uint32_t address = qFromBigEndian<uint32_t>(m_ipField);
            if (address != 0)
                m_stringValue = QStringLiteral("%1.%2.%3.%4")
                                    .arg(address >> 24)
                                    .arg((address >> 16) & 0xFF)
                                    .arg((address >> 8) & 0xFF)
                                    .arg(address & 0xFF);
        }
        break;
    case Bool:
        m_acceptedBool = boolFieldValue();
        break;
    case Int8:
        if (m_int8Field)
            m_stringValue = QString::number(readField(m_int8Field));
        break;
    case Uint8:
        if (m_uint8Field)
            m_stringValue = QString::number(readField(m_uint8Field));
        break;
    case Int16:
        if (m_int16Field)
            m_stringValue = QString::number(readField(m_int16Field));
        break;
    case Uint16:
        if (m_uint16Field)
            m_stringValue = QString::number(readField(m_uint16Field));
        break;
    case Int32:
        if (m_int32Field)
            m_stringValue = QString::number(readField(m_int32Field));
        break;
    case Uint32:
        if (m_uint32Field)
            m_stringValue = QString::number(readField(m_uint32Field));
        break;
    case Float:
        if (m_floatField)
            m_stringValue = QString::number(double(readField(m_floatField)), 'g', 6);
        break;
    default:
        break;
    }
    emit ValueChanged();
}

void HwSetting::storeText(const QString &text)
{
    switch (m_type) {
    case String:
        if (m_textField && m_maxLength > 0) {
            // Never past the field: a text of the full width keeps no terminating zero, which the
            // readers of the record allow for.
            const QByteArray utf8 = text.toUtf8();
            const qsizetype n = utf8Prefix(utf8, m_maxLength);
            std::memcpy(m_textField, utf8.constData(), size_t(n));
            std::memset(m_textField + n, 0, size_t(m_maxLength - n));
        }
        break;
    case IpAddress:
        if (m_ipField) {
            uint32_t address = 0;
            if (!parseIpv4(text, &address))
                address = 0;
            qToBigEndian<uint32_t>(address, m_ipField);
        }
        break;
    case Int8:
        if (m_int8Field)
            writeField(m_int8Field, int8_t(text.toInt()));
        break;
    case Uint8:
        if (m_uint8Field)
            writeField(m_uint8Field, uint8_t(text.toInt()));
        break;
    case Int16:
        if (m_int16Field)
            writeField(m_int16Field, int16_t(text.toInt()));
        break;
    case Uint16:
        if (m_uint16Field)
            writeField(m_uint16Field, uint16_t(text.toInt()));
        break;
    case Int32:
        if (m_int32Field)
            writeField(m_int32Field, int32_t(text.toInt()));
        break;
    case Uint32:
        if (m_uint32Field)
            writeField(m_uint32Field, uint32_t(text.toUInt()));
        break;
    case Float:
        if (m_floatField)
            writeField(m_floatField, text.toFloat());
        break;
    default:
        break;
    }
}

bool HwSetting::typeCheck(const QString &text) const
{
    switch (m_type) {
    case String: {
        // The minimum counts characters; the maximum counts the bytes the field has to hold.
        if (m_name == QLatin1String("Password") && text.toUcs4().size() < 8)
            return false;
        return text.toUtf8().size() <= m_maxLength;
    }
    case IpAddress: {
        uint32_t ignored = 0;
        return text.isEmpty() || parseIpv4(text, &ignored);
    }
    case Int8:
    case Int16:
    case Int32: {
        const double v = double(text.toLongLong());
        return v >= m_minValue && v <= m_maxValue;
    }
    case Uint8:
    case Uint16:
    case Uint32: {
        const double v = double(text.toULongLong());
        return v >= m_minValue && v <= m_maxValue;
    }
    case Float: {
        const double v = text.toDouble();
        return v >= m_minValue && v <= m_maxValue; // NaN fails
    }
    default:
        return true;
    }
}

void HwSetting::setFieldState(FieldState state)
{
    if (state == m_fieldState)
        return;
    const bool pendingChanged = (m_fieldState == Changed) != (state == Changed);
    m_fieldState = state;
    emit FieldStateChanged(state);
    if (pendingChanged)
        emit ValuePendingChanged();
}

void HwSetting::editingValueFinished(QString updatedString)
{
    const bool sameAsAccepted = updatedString == m_acceptedText;
    storeText(updatedString);
    setGuiValues(m_type == IpAddress, updatedString);

    FieldState state;
    std::string errorText;
    if (m_validator && !m_validator(m_validatorOwner, this, &errorText)) {
        qCDebug(lcHwSetting).noquote() << m_name << QString::fromStdString(errorText);
        state = Error;
    } else if (sameAsAccepted) {
        state = Unchanged;
    } else {
        state = typeCheck(updatedString) ? Changed : Error;
    }
    setFieldState(state);
}

void HwSetting::editingTextChanged(QString updatedString)
{
    editingValueFinished(updatedString);
    const QList<QPointer<HwSetting>> siblings = m_siblings;
    for (const QPointer<HwSetting> &sibling : siblings) {
        if (sibling && sibling != this)
            sibling->editingValueFinished(sibling->m_stringValue);
    }
}

void HwSetting::boolValueUpdated(bool checked)
{
    if (m_type != Bool || !m_boolField)
        return;
    const bool accepted = m_acceptedBool != 0;
    if (checked == accepted && m_fieldState != Unchanged)
        setFieldState(Unchanged);
    if (bool(boolFieldValue()) == checked)
        return;
    writeField(m_boolField, uint8_t(checked ? 1 : 0));
    if (!(checked == accepted || m_fieldState == Changed))
        setFieldState(Changed);
}

void HwSetting::acceptApplied()
{
    setGuiValues();
    setFieldState(Unchanged);
    m_acceptedText = m_stringValue;
}

void HwSetting::revertPending()
{
    setFieldState(Unchanged);
    m_stringValue = m_acceptedText;
    emit ValueChanged();
}
