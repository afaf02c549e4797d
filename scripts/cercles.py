#!/usr/bin/env python3
"""Circles of calls between the program's units.

A unit is a header and its source (`files/header.h` and `files/header.cpp`);
unit A leans on unit B when A's header or source includes B's header. A
circle is a set of units that lean on each other round (a strongly connected
component of more than one unit). The programs, benchmarks and tests sit on
top and are left out.

    scripts/cercles.py [ROOT]     lists the circles; exit status 1 if any
"""
import os
import re
import sys

HORS = {'tests', 'bench', 'tools', 'docs', 'data', 'cmake', 'scripts', 'packaging', '.git', '.ci'}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def unites(racine):
    """Unit -> the units it leans on."""
    deps = {}
    for d in sorted(os.listdir(racine)):
        if d in HORS or d.startswith('build') or not os.path.isdir(os.path.join(racine, d)):
            continue
        for chemin, _, fichiers in os.walk(os.path.join(racine, d)):
            for f in sorted(fichiers):
                if not f.endswith(('.h', '.cpp')):
                    continue
                rel = os.path.relpath(os.path.join(chemin, f), racine).replace(os.sep, '/')
                u = os.path.splitext(rel)[0]
                with open(os.path.join(racine, rel), encoding='utf-8', errors='replace') as flux:
                    texte = flux.read()
                cibles = deps.setdefault(u, set())
                cibles.update(os.path.splitext(i)[0] for i in INCLUDE.findall(texte))
                cibles.discard(u)
    return {u: {c for c in cs if c in deps} for u, cs in deps.items()}


def cercles(deps):
    """Strongly connected components of more than one unit (Tarjan, without recursion)."""
    index, bas, pile, sur, resultat = {}, {}, [], set(), []
    for depart in sorted(deps):
        if depart in index:
            continue
        travail = [(depart, iter(sorted(deps[depart])))]
        index[depart] = bas[depart] = len(index)
        pile.append(depart)
        sur.add(depart)
        while travail:
            v, suivants = travail[-1]
            w = next(suivants, None)
            if w is not None:
                if w not in index:
                    index[w] = bas[w] = len(index)
                    pile.append(w)
                    sur.add(w)
                    travail.append((w, iter(sorted(deps[w]))))
                elif w in sur:
                    bas[v] = min(bas[v], index[w])
                continue
            travail.pop()
            if travail:
                bas[travail[-1][0]] = min(bas[travail[-1][0]], bas[v])
            if bas[v] == index[v]:
                c = []
                while True:
                    x = pile.pop()
                    sur.discard(x)
                    c.append(x)
                    if x == v:
                        break
                if len(c) > 1:
                    resultat.append(sorted(c))
    return sorted(resultat)


def main():
    racine = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..')
    deps = unites(racine)
    trouves = cercles(deps)
    for c in trouves:
        print('cercle : ' + ' <-> '.join(c))
    print(f'{len(deps)} unités, {len(trouves)} cercle(s)')
    return 1 if trouves else 0


if __name__ == '__main__':
    sys.exit(main())
