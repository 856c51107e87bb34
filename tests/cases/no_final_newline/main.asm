        .CHIP   ZQ4460
        #include "x.inc"
        HALT