#include "OrvaneColors.h"

OrvaneColors::OrvaneColors(QObject *parent)
    : QObject(parent)
{ }

OrvaneColors *OrvaneColors::create(QQmlEngine *, QJSEngine *)
{
    return new OrvaneColors;
}

QColor OrvaneColors::martian() const
{
    return QColor(QStringLiteral("#EE1E47"));
}

QColor OrvaneColors::background() const
{
    return QColor(QStringLiteral("#ffffff"));
}

QColor OrvaneColors::mainBorderColor() const
{
    return QColor(QStringLiteral("#cccbca"));
}

QColor OrvaneColors::borderColor() const
{
    return QColor(QStringLiteral("#c8c8c8"));
}

QColor OrvaneColors::accentBorderColor() const
{
    return QColor(QStringLiteral("#FBAF37"));
}

QColor OrvaneColors::unknownStatusColor() const
{
    return QColor(QStringLiteral("#b4b4b4"));
}

QColor OrvaneColors::cursorColor() const
{
    return QColor(QStringLiteral("#000000"));
}

QColor OrvaneColors::bigButtonColor() const
{
    return QColor(QStringLiteral("#f3f3f3"));
}

QColor OrvaneColors::bigButtonHoverColor() const
{
    return QColor(QStringLiteral("#d3d3d3"));
}

QColor OrvaneColors::buttonColor() const
{
    return QColor(QStringLiteral("#000000"));
}

QColor OrvaneColors::dangerButtonColor() const
{
    return QColor(QStringLiteral("#dd0830"));
}

QColor OrvaneColors::dialogButtonContainerColor() const
{
    return QColor(QStringLiteral("#eeeeee"));
}

QColor OrvaneColors::navigationBarColor() const
{
    return QColor(QStringLiteral("#f3f3f3"));
}

QColor OrvaneColors::toolBarColor() const
{
    return QColor(QStringLiteral("#e6e6e6"));
}

QColor OrvaneColors::primaryTextColor() const
{
    return QColor(QStringLiteral("#000000"));
}

QColor OrvaneColors::secondaryTextColor() const
{
    return QColor(QStringLiteral("#1d252e"));
}

QColor OrvaneColors::textFieldBackground() const
{
    return QColor(QStringLiteral("#ffffff"));
}

QColor OrvaneColors::textFieldForeground() const
{
    return QColor(QStringLiteral("#1c75bc"));
}

QColor OrvaneColors::tableColumnColor() const
{
    return QColor(QStringLiteral("#f3f3f3"));
}

QColor OrvaneColors::tableRowColor() const
{
    return QColor(QStringLiteral("#e6e6e6"));
}

QColor OrvaneColors::tableSelectedRowColor() const
{
    return QColor(QStringLiteral("#d1ece7"));
}

QColor OrvaneColors::selectionColor() const
{
    return QColor(QStringLiteral("#1c75bc"));
}

QColor OrvaneColors::selectedTextColor() const
{
    return QColor(QStringLiteral("#ffffff"));
}

QColor OrvaneColors::accentColor() const
{
    return QColor(QStringLiteral("#3db199"));
}

QColor OrvaneColors::formFieldLabelBackground() const
{
    return QColor(QStringLiteral("#f3f3f3"));
}

QColor OrvaneColors::formFieldLabelDivider() const
{
    return QColor(QStringLiteral("#dfdfdf"));
}

QColor OrvaneColors::formFieldControlBackground() const
{
    return QColor(QStringLiteral("#e6e6e6"));
}

QColor OrvaneColors::formFieldContentBackground() const
{
    return QColor(QStringLiteral("#cccccc"));
}

QColor OrvaneColors::formFieldTextUnderline() const
{
    return QColor(QStringLiteral("#e3e3e3"));
}

QColor OrvaneColors::formFieldToggleTrue() const
{
    return QColor(QStringLiteral("#3CB099"));
}

QColor OrvaneColors::formFieldToggleFalse() const
{
    return QColor(QStringLiteral("#B4B4B4"));
}
