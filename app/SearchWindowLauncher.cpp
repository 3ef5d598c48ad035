#include "app/SearchWindowLauncher.h"

#include "app/Form.h"

#if __has_include("search/FrmVelmoraMain.h")
#include "search/FrmVelmoraMain.h"
#define ORVANTA_HAVE_SEARCH_WINDOW 1
#endif

namespace Orvanta {

void showSearchWindow()
{
#ifdef ORVANTA_HAVE_SEARCH_WINDOW
    Forms::show<FrmVelmoraMain>();
#endif
}

} // namespace Orvanta
