#include "app/SearchWindowLauncher.h"

#include "app/Form.h"
#include "search/FrmVelmoraMain.h"

namespace Orvanta {

void showSearchWindow()
{
    Forms::show<FrmVelmoraMain>();
}

} // namespace Orvanta
