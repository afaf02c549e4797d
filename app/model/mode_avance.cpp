#include "app/model/mode_avance.h"

#include "app/model/coche.h"
#include "app/model/nommage_controles.h"
#include "app/model/principale.h"

void checkBox_Test_CheckedChanged(Principale& p)
{
    Controles& c = p.ctl;
    p.journal.detail = c.checkBox_Test.checked;
    if (p.journal.detail) {
        c.groupBox_Test.shown = true;
        coche(p, c.checkBox_Nom_Fich, false, checkBox_Nom_Fich_CheckedChanged);
    } else {
        c.groupBox_Test.shown = false;
        c.checkBox_Status.checked = false;
    }
}
