#!/usr/bin/env python3
# Writes data/geometrie-simulateur.xml, the simulated box's array: 128 arms
# of 8 microphones (beam f = arm f, microphone j of a beam outward), in the
# plane z = 0, 1 m across. Each arm turns a little with the radius, a
# spiral that spreads the sidelobes a straight star would line up.
import math
import sys

sortie = sys.argv[1] if len(sys.argv) > 1 else "data/geometrie-simulateur.xml"
lignes = ['<?xml version="1.1" encoding="utf-8"?>', '<MicArray name="simulateur 128 x 8">']
for f in range(128):
    for j in range(8):
        r = 0.08 + j * (0.42 / 7)
        a = 2 * math.pi * f / 128 + 1.2 * r
        m = 8 * f + j
        lignes.append(f'  <pos Name="Point {m + 1}" x="{r * math.cos(a):.6f}" y="{r * math.sin(a):.6f}" z="0"/>')
lignes.append("</MicArray>")
with open(sortie, "w", newline="\r\n") as fichier:
    fichier.write("\n".join(lignes) + "\n")
