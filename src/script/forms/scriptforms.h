// The script form classes "ZTTextForm", "ZTPictureForm", "ZTEditForm",
// "ZTButtonForm", "ZTComboForm", "ZTListboxForm" and "ZTFormElement", as an
// extension of the script host. "Show" hands the form tree to the presenter;
// without one (ztd, no windows) it warns and gives 2, as Cancel would.
#pragma once

#include "script/forms/formpresenter.h"
#include "script/scripthost.h"

namespace zt::forms {

// presenter may be null; it must outlive the runs of the host.
zt::script::ScriptExtension ScriptFormsExtension(CZTFormPresenter* presenter);

} // namespace zt::forms
