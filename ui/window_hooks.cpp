#include "ui/window_hooks.h"

#include "cad/session.h"
#include "inspect/program_draw.h"
#include "ui/colours.h"
#include "ui/dialogs.h"
#include "ui/panel.h"
#include "ui/status.h"
#include "view/measure_results.h"
#include "view/part_marks.h"

namespace orvane {

void InstallWindowHooks(Station& st) {
  st.hooks.update_status_line = [&st] { UpdateStatusLine(st); };
  st.hooks.show_roi_count = [&st] { ShowRoiCount(st); };
  st.hooks.ask_entity_type = [&st] { return AskEntityType(st); };
  st.hooks.ask_distance = [&st] { return AskDistance(st); };
  st.hooks.refresh_panel = [&st] { RefreshPanel(st); };
  st.hooks.commit_edits = [&st] { CommitPanelEdits(st); };
  st.hooks.size_view = [&st] { SizeView(st); };
  st.hooks.draw_overlay_extras = [&st] {
    DrawGaugeMarks(st);
    DrawPartMarks(st);
    DrawCadOverlay(st);
    DrawProgramRun(st);
  };
  st.hooks.background_colour_changed = [&st](uint32_t) { ApplyWindowColours(st); };
}

} // namespace orvane
