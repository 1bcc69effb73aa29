#include "app/ui/menu_states.h"

#include <initializer_list>

CommandSwitches& App_CommandSwitches() {
    static CommandSwitches switches;
    return switches;
}

namespace {

class States {
  public:
    explicit States(std::map<int32_t, MenuItemState>& out) : out_(out) {}
    void Enable(std::initializer_list<int32_t> ids, bool on) {
        for (int32_t id : ids) out_[id].enabled = on;
    }
    void Check(std::initializer_list<int32_t> ids, bool on) {
        for (int32_t id : ids) out_[id].checked = on;
    }
    // Checks the one item of the group whose index is `which` (none when out of range).
    void Radio(std::initializer_list<int32_t> ids, int which) {
        int i = 0;
        for (int32_t id : ids) out_[id].checked = i++ == which;
    }

  private:
    std::map<int32_t, MenuItemState>& out_;
};

void FileAndViewRules(const MenuStateInput& in, States& s) {
    const GeneralSettings& g = *in.settings;
    const ViewSettings& v = *in.view;
    const bool scanOrSurface = in.mode == 1 || in.mode == 2;
    s.Enable({40265, 40135, 40291, 40292}, scanOrSurface);
    s.Enable({40089, 40263, 40264, 40129}, in.profiles > 0);
    s.Enable({40267}, in.basicPresent);
    s.Enable({40261, 40171}, in.rbfPresent);
    s.Enable({40240}, scanOrSurface && in.siblingKnown);
    s.Enable({40148, 40200}, in.stylusGroups > 0);
    s.Enable({40335}, !in.allStylusVisible);
    s.Enable({40296}, in.points > 0);
    s.Enable({40064}, in.running);
    s.Radio({40262, 40263, 40264}, in.mode == 1 ? 0 : in.mode == 2 ? (in.showsRbf ? 2 : 1) : -1);
    s.Check({40291}, g.ViewBBox != 0);
    s.Radio({40119, 40120, 40121, 40122}, g.Movement);
    s.Enable({40011, 40013, 40014, 40061, 40078, 40009, 40010, 40045, 40046, 40047, 40051, 40049, 40050}, in.mode != 0);
    s.Radio({40011, 40013, 40014, 40015}, (v.Options & 2) ? 3 : v.DisplayType);
    s.Check({40078}, (v.Options & 1) != 0);
    s.Check({40281}, in.mode == 1 && v.ColourMode == 0);
    s.Check({40285}, in.mode == 1 && v.ColourMode == 6);
    s.Check({40286}, in.mode == 1 && v.ColourMode == 7);
    s.Check({40287}, in.mode == 1 && v.ColourMode == 5);
    s.Check({40245}, v.ColourMode == 1);
    s.Check({40334}, in.mode == 1 && g.ViewWandPosition);
    s.Check({40333}, in.mode == 1 && g.ViewReferencePosition);
    s.Check({40332}, in.mode == 1 && g.ViewTransmitterPosition);
    s.Check({40225}, g.ShowExtents != 0);
}

void ScannerRules(const MenuStateInput& in, States& s) {
    const GeneralSettings& g = *in.settings;
    if (in.noReceiver) {
        s.Enable({40097, 40098, 40067}, false);
        s.Check({40097, 40098, 40067}, false);
    } else {
        s.Enable({40097, 40098}, in.running && !in.receiverFrozen);
        s.Radio({40097, 40098}, g.ReceiverEnabled ? 1 : 0);
        s.Enable({40067}, in.running && g.ReceiverEnabled && !in.receiverFrozen);
        s.Check({40067}, in.receiverFrozen);
    }
    s.Enable({40349}, !in.receiverFrozen);
    s.Enable({40194, 40181, 40165}, in.running);
    s.Enable({40055}, in.mode != 2 && in.sweeps > 0);
    s.Enable({40056}, in.mode != 2 && in.sweeps < in.storedSweeps);
    s.Check({40073}, g.AutoView != 0);
    s.Enable({40082}, in.running && in.mode != 3 && in.scannerKind == 2);
    s.Enable({40100}, in.running && in.mode != 3);
    s.Enable({40099, 40250, 40270}, true);
}

void StylusSettingsAndFactoryRules(const MenuStateInput& in, States& s) {
    const GeneralSettings& g = *in.settings;
    const ViewSettings& v = *in.view;
    s.Check({40181}, g.Stylus.Mode != 0);
    s.Check({40368}, g.MarkWithMouse != 0);
    s.Check({40345}, g.StylusPointBeep != 0);
    s.Check({40344}, g.StylusPointAutoView != 0);
    s.Check({40347}, in.switches.corvane);
    s.Check({40352}, in.switches.halvern);
    s.Check({40350}, in.switches.crosshair);
    s.Check({40353}, in.switches.quadSurfacing);
    s.Check({40022}, g.SaveSettingsOnExit != 0);
    s.Check({40201}, g.DisableGraphicsHardware == 0);
    s.Check({40239}, g.OverrideGraphicsHardwareSwapCopyBit != 0);
    s.Check({40208}, g.DisableDoubleTriggerClick == 0);
    s.Check({40209}, g.DisableTripleTriggerClick == 0);
    s.Radio({40383, 40384}, g.UseOldToolbar ? 0 : 1);
    s.Enable({40354, 40355, 40356, 40357}, !g.UseOldToolbar);
    s.Check({40354}, g.ToolbarLabels != 0);
    s.Radio({40357, 40356, 40355}, g.ToolbarIconSize);
    s.Radio({40389, 40390}, g.UseImperialUnits ? 1 : 0);
    s.Check({40103}, in.mode == 3);
    s.Check({40107}, g.BasicParams.GenerateFacets != 0);
    s.Check({40252}, (v.Options & 0x10) != 0);
    s.Check({40253}, (v.Options & 0x20) != 0);
    s.Check({40254}, (v.Options & 0x40) != 0);
    s.Check({40337}, (v.Options & 0x200) != 0);
    s.Check({40380}, (v.Options & 0x400) != 0);
}

void EditRules(const MenuStateInput& in, States& s) {
    const GeneralSettings& g = *in.settings;
    s.Enable({40273}, in.selectLevel != 0 || in.eraseLevel != 0);
    s.Enable({40276}, in.selectLevel < in.selectTop || in.eraseLevel < in.eraseTop);
    s.Check({40243}, in.selectMode);
    s.Enable({40275}, in.selectLevel >= 1);
    s.Check({40135}, in.sweepsPanelVisible);
    s.Check({40144}, in.stylusPanelVisible);
    s.Enable({40336}, in.mode == 2 && g.CombineSweeps == 2);
    s.Enable({40297}, in.unhiddenSweeps >= 2);
    s.Enable({40300}, in.pendingTransform);
    s.Check({40373}, g.CastInversionMode != 0);
}

}  // namespace

std::map<int32_t, MenuItemState> Menu_ComputeStates(const MenuStateInput& in) {
    std::map<int32_t, MenuItemState> out;
    if (!in.settings || !in.view) return out;
    States s(out);
    FileAndViewRules(in, s);
    ScannerRules(in, s);
    StylusSettingsAndFactoryRules(in, s);
    EditRules(in, s);
    return out;
}
