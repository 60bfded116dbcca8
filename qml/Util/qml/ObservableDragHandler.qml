import QtQuick

// A drag handler that hands each drag to one of its observers: on every press the interested
// observer of the highest priority (the first added among equals) owns the drag.
DragHandler {
    id: handler

    property var observers: new Map()
    property int lastKey: 0
    property int activeObserverIndex: -1

    function addHandler(priority, interestCondition, grabHandler, ungrabHandler, axesHandler) {
        const key = lastKey
        observers.set(key, {
                          "priority": priority,
                          "condition": interestCondition,
                          "grab": grabHandler,
                          "ungrab": ungrabHandler,
                          "axes": axesHandler
                      })
        lastKey = lastKey + 1
        return key
    }

    function removeHandler(index) {
        observers.delete(index)
    }

    function callActive(name, argument) {
        if (activeObserverIndex < 0)
            return
        const record = observers.get(activeObserverIndex)
        if (!record || typeof record[name] !== "function")
            return
        record[name](argument)
    }

    function chooseObserver(point) {
        let choice = -1
        let best = -1
        for (const [key, record] of observers) {
            const interested = typeof record.condition === "function" && record.condition(point)
            if (interested && record.priority > best) {
                choice = key
                best = record.priority
            }
        }
        return choice
    }

    onGrabChanged: (transition, point) => {
        if (transition === PointerDevice.GrabPassive) {
            activeObserverIndex = chooseObserver(point)
        } else if (transition === PointerDevice.GrabExclusive) {
            callActive("grab", point)
        } else if (transition === PointerDevice.UngrabExclusive) {
            callActive("ungrab", point)
            activeObserverIndex = -1
        }
    }

    onActiveTranslationChanged: callActive("axes", activeTranslation)
}
