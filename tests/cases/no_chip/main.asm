; no chip statement here
        NOP
