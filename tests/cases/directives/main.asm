        .CHIP   ZQ4460
        .CODE
START:  NOP
        .DS     2
        HALT
        .ENDIF
        .ERROR  "Stack" "overflow"
        .DNOVERLAP YES
        .SORTLABELFILE A
        .END
        NOP
