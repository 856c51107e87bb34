; Trap warnings: each line marked "warns" draws one, the others none.
        .CHIP   ZQ4460
DEBUG   EQU     1
        .IF     DEBUGG == 0     ; warns: DEBUGG is misspelt
        NOP
        .ENDIF
        .IF     DEBUG == 1
        LDA     1
        .ELSEIF NOSUCH          ; not evaluated
        LDA     2
        .ENDIF
        .IF     DEBUG == 0
        LDA     3
        .ELSEIF LEVEL+1 == 1    ; warns: LEVEL is defined nowhere
        LDA     4
        .ENDIF
        .IFDEF  NOSUCH
        NOP
        .ENDIF
        .IFNDEF NOSUCH
        LDA     5
        .ENDIF
        .IF     LATE            ; defined further on: known in pass 2
        NOP
        .ENDIF
PUT     .MACRO  H, ADDR
        LDA     1H              ; warns: H inside 1H
        MOV     ADDR, H
        LDA     H+1
        .IF     .PARAMCOUNT = 3
        LDA     0FH
        .ENDIF
        .ENDM
        PUT     5, 45h
LATE    EQU     0
