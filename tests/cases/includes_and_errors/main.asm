        .CHIP   zq4460
        ORG     10h
        #include <defs.inc>
        .include "sub\more.inc"
        JMP     NOWHERE
        BOGUS   1
        #include <missing.inc>
        HALT
