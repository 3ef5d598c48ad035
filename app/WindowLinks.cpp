#include "app/WindowLinks.h"

#include "app/forms/Form.h"
#include "app/startscreen/FrmIni.h"
#include "search/FrmVelmoraMain.h"

namespace Orvanta {

void linkWindows()
{
    FrmIni::setSearchWindowOpener([] { Forms::show<FrmVelmoraMain>(); });
}

} // namespace Orvanta
