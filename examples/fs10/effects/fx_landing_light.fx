[Library Effect]
Lifetime=5
Display Name=fx_landing_light
