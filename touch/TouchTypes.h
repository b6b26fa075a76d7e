#pragma once
#include <cstdint>

// Fixed-size values of the per-report path: nothing here allocates.

enum ContactKind : std::int64_t {
    ContactKindNone = 0,
    ContactKindFinger = 1,
    ContactKindPen = 2,
    ContactKindEraser = 3,
    ContactKindUnknown = 4,
};

constexpr int kMaxTouchSlots = 8;

struct TouchSlotLayout {
    std::int32_t slot = 0;
    std::int64_t preferredKind = ContactKindFinger;
    std::int32_t tipSwitchBitOffset = -1;
    std::int32_t inRangeBitOffset = -1;
    std::int32_t touchValidBitOffset = -1;
    std::int32_t invertBitOffset = -1;
    std::int32_t eraserBitOffset = -1;
    std::int32_t contactIdBitOffset = -1;
    std::int32_t contactIdBitLength = 0;
    std::int32_t xBitOffset = -1;
    std::int32_t xBitLength = 0;
    std::int32_t xLogicalMinimum = 0;
    std::int32_t xLogicalMaximum = 0;
    std::int32_t yBitOffset = -1;
    std::int32_t yBitLength = 0;
    std::int32_t yLogicalMinimum = 0;
    std::int32_t yLogicalMaximum = 0;
    std::int32_t widthBitOffset = -1;
    std::int32_t widthBitLength = 0;
    std::int32_t heightBitOffset = -1;
    std::int32_t heightBitLength = 0;
};

struct TouchLayout {
    bool valid = false;
    std::uint8_t reportID = 0;
    // -1 when the device numbers no reports: they carry no ID byte and the
    // positions count from the report's first byte.
    std::int32_t reportIDByteOffset = 0;
    TouchSlotLayout contacts[kMaxTouchSlots]{};
    std::int32_t contactCount = 0;
    // Contact collections of the touch report, also those beyond the slots:
    // a frame of no more contacts fits one report.
    std::int32_t contactCollectionCount = 0;
    std::int32_t contactCountBitOffset = -1;
    std::int32_t contactCountBitLength = 0;
    bool hasFingerCollection = false;
    bool hasPenCollection = false;
    bool hasContactCount = false;
    bool hasTouchValid = false;
    bool hasInRange = false;
    bool hasInvert = false;
    bool hasEraser = false;
    bool hasWidth = false;
    bool hasHeight = false;
    bool hasLogicalRanges = false;
};

struct TouchContact {
    std::int32_t slot = 0;
    std::uint8_t flags = 0;
    std::uint8_t contactID = 0;
    std::uint32_t rawX = 0;
    std::uint32_t rawY = 0;
    std::int32_t xMinimum = 0;
    std::int32_t xMaximum = 0;
    std::int32_t yMinimum = 0;
    std::int32_t yMaximum = 0;
    std::uint16_t marker = 0;
    std::int64_t kind = ContactKindNone;
};

struct TouchContactList {
    TouchContact contacts[kMaxTouchSlots]{};
    std::int32_t count = 0;
    std::int32_t frameContactCount = 0;
    std::int32_t slotCount = 0;
    std::int32_t hybridOffset = 0;
    bool continuation = false;
    bool complete = false;
};
