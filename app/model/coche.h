// Setting a check box or radio button from code, as the toolkit does it: the
// change handler runs only when the state actually changes.
#pragma once

struct Principale;

template <class Box> void coche(Principale& p, Box& box, bool etat, void (*changed)(Principale&) = nullptr)
{
    if (box.checked == etat)
        return;
    box.checked = etat;
    if (changed)
        changed(p);
}
