        .CHIP   ZQ4460
        .SORTLABELFILE D
        .SORTEQUFILE A
        .SORTRAMFILE A
        .SORTRAMFILE X
        .SORTRAMFILE D
        .DATA
        ORG     40h
beta    DN      2
Alpha   DN      1
_tmp    DN      4
        .ENDD
zeta    EQU     1
Beta    EQU     2
_k      EQU     3
alpha   EQU     4
Zulu:   NOP
able:   NOP
_start: NOP
Baker:  NOP
