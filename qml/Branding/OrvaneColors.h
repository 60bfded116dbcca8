#pragma once

#include <QColor>
#include <QObject>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

// The brand colours by role. Several roles share a value and stay separate properties, so a
// role can change without touching the others.
class OrvaneColors : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    Q_PROPERTY(QColor martian READ martian CONSTANT)
    Q_PROPERTY(QColor background READ background CONSTANT)
    Q_PROPERTY(QColor mainBorderColor READ mainBorderColor CONSTANT)
    Q_PROPERTY(QColor borderColor READ borderColor CONSTANT)
    Q_PROPERTY(QColor accentBorderColor READ accentBorderColor CONSTANT)
    Q_PROPERTY(QColor unknownStatusColor READ unknownStatusColor CONSTANT)
    Q_PROPERTY(QColor cursorColor READ cursorColor CONSTANT)
    Q_PROPERTY(QColor bigButtonColor READ bigButtonColor CONSTANT)
    Q_PROPERTY(QColor bigButtonHoverColor READ bigButtonHoverColor CONSTANT)
    Q_PROPERTY(QColor buttonColor READ buttonColor CONSTANT)
    Q_PROPERTY(QColor dangerButtonColor READ dangerButtonColor CONSTANT)
    Q_PROPERTY(QColor dialogButtonContainerColor READ dialogButtonContainerColor CONSTANT)
    Q_PROPERTY(QColor navigationBarColor READ navigationBarColor CONSTANT)
    Q_PROPERTY(QColor toolBarColor READ toolBarColor CONSTANT)
    Q_PROPERTY(QColor primaryTextColor READ primaryTextColor CONSTANT)
    Q_PROPERTY(QColor secondaryTextColor READ secondaryTextColor CONSTANT)
    Q_PROPERTY(QColor textFieldBackground READ textFieldBackground CONSTANT)
    Q_PROPERTY(QColor textFieldForeground READ textFieldForeground CONSTANT)
    Q_PROPERTY(QColor tableColumnColor READ tableColumnColor CONSTANT)
    Q_PROPERTY(QColor tableRowColor READ tableRowColor CONSTANT)
    Q_PROPERTY(QColor tableSelectedRowColor READ tableSelectedRowColor CONSTANT)
    Q_PROPERTY(QColor selectionColor READ selectionColor CONSTANT)
    Q_PROPERTY(QColor selectedTextColor READ selectedTextColor CONSTANT)
    Q_PROPERTY(QColor accentColor READ accentColor CONSTANT)
    Q_PROPERTY(QColor formFieldLabelBackground READ formFieldLabelBackground CONSTANT)
    Q_PROPERTY(QColor formFieldLabelDivider READ formFieldLabelDivider CONSTANT)
    Q_PROPERTY(QColor formFieldControlBackground READ formFieldControlBackground CONSTANT)
    Q_PROPERTY(QColor formFieldContentBackground READ formFieldContentBackground CONSTANT)
    Q_PROPERTY(QColor formFieldTextUnderline READ formFieldTextUnderline CONSTANT)
    Q_PROPERTY(QColor formFieldToggleTrue READ formFieldToggleTrue CONSTANT)
    Q_PROPERTY(QColor formFieldToggleFalse READ formFieldToggleFalse CONSTANT)

public:
    explicit OrvaneColors(QObject *parent = nullptr);
    static OrvaneColors *create(QQmlEngine *engine, QJSEngine *scriptEngine);

    QColor martian() const;
    QColor background() const;
    QColor mainBorderColor() const;
    QColor borderColor() const;
    QColor accentBorderColor() const;
    QColor unknownStatusColor() const;
    QColor cursorColor() const;
    QColor bigButtonColor() const;
    QColor bigButtonHoverColor() const;
    QColor buttonColor() const;
    QColor dangerButtonColor() const;
    QColor dialogButtonContainerColor() const;
    QColor navigationBarColor() const;
    QColor toolBarColor() const;
    QColor primaryTextColor() const;
    QColor secondaryTextColor() const;
    QColor textFieldBackground() const;
    QColor textFieldForeground() const;
    QColor tableColumnColor() const;
    QColor tableRowColor() const;
    QColor tableSelectedRowColor() const;
    QColor selectionColor() const;
    QColor selectedTextColor() const;
    QColor accentColor() const;
    QColor formFieldLabelBackground() const;
    QColor formFieldLabelDivider() const;
    QColor formFieldControlBackground() const;
    QColor formFieldContentBackground() const;
    QColor formFieldTextUnderline() const;
    QColor formFieldToggleTrue() const;
    QColor formFieldToggleFalse() const;
};
