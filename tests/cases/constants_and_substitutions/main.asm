; Constants, DEFINE names and DEFSTRING texts
        .CHIP   ZQ4460
        #include <defs.inc>
        .ENDD
        .SORTEQUFILE A
COUNT   EQU     5
Limit   .equ    0FH
CH:     EQUAL   'A'
        #DEFINE DEBUG
        #DEFINE LEVEL 3
ARGS    DEFSTRING 45h, 3
OTHER   DEFSTR  ARGS
X       EQU     1 + 2
COUNT   EQU     7
        #DEFINE 9X 1
start:  LDA     COUNT
        LDA     LEVEL
        #DEFINE LEVEL 4
        LDA     LEVEL
        MOV     ARGS
        MOV     OTHER
loop:   INC     DEBUG
        LDA     CH-Limit-50
        LDA     INNER
        JMP     loop
done:   .END
        JMP     nowhere
