// The main window's menu bar as one static table, the accelerator bindings
// of the "KORV" resource, and the rules that grey and check the menu items.
// Nothing here knows a window: the Windows side builds the menus from the
// rows and applies the states.
#pragma once

#include <cstdint>
#include <cstddef>

// Row ids other than a command.
constexpr int32_t kMenuPopup = -1;
constexpr int32_t kMenuSeparator = -2;
constexpr int32_t kMenuPopupEnd = -3;
constexpr int32_t kMenuTableEnd = -4;

struct MenuTableRow {
    const char* text;              // fixed label, for rows without a text key
    const char* textKey;           // locale key of the label
    const char* infoKey;           // locale key of the status-bar text
    const char* acceleratorLabel;  // shown after a tab behind the label
    int32_t id;                    // command id, or one of the row ids above
    int32_t popupId;               // a popup row's own id
};

extern const MenuTableRow kMainMenuTable[];
extern const size_t kMainMenuTableSize;

// Popup ids the program refers to.
constexpr int32_t kPopupFactory = 40404;
constexpr int32_t kPopupMovement = 401;

// One binding of the accelerator table: key flags, virtual key, command.
constexpr uint8_t kAccelVirtKey = 0x01;
constexpr uint8_t kAccelShift = 0x04;
constexpr uint8_t kAccelControl = 0x08;
constexpr uint8_t kAccelAlt = 0x10;

struct AcceleratorBinding {
    uint8_t flags;
    uint16_t key;
    uint16_t command;
};

// Every binding of the "KORV" resource, in the resource's order.
extern const AcceleratorBinding kKorvBindings[];
extern const size_t kKorvBindingCount;
